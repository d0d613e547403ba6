// The native plug-ins the page talks to. SharedTodayWidget belongs to this
// application and has no web implementation: off the phone (or without the
// host application) its calls reject, and the page says so.
//
//   set({ payload: string }) -> { appGroupOk: boolean }
//     rejects with "payload (JSON string) is required" without a text payload
//   status() -> { appGroupOk: boolean, hasPayload: boolean, diag: string, group: string }
import { registerPlugin } from '@capacitor/core';

export { App } from '@capacitor/app';

export const SharedTodayWidget = registerPlugin('SharedTodayWidget');
