// The native plug-ins the page talks to. SharedTodayWidget belongs to this
// application and has no web implementation: off the phone (or without the
// host application) its calls reject, and the page says so.
//
//   set({ payload: string }) -> { appGroupOk: boolean }
//     rejects with "payload (JSON string) is required" without a text payload
//   status() -> { appGroupOk: boolean, hasPayload: boolean, diag: string, group: string }
//
// The others are the plug-in packages the application links: reminders on
// the lock screen, the count on the icon, and the updater's start-up call.
import { Capacitor, registerPlugin } from '@capacitor/core';

export { App } from '@capacitor/app';
export { LocalNotifications } from '@capacitor/local-notifications';
export { Badge } from '@capawesome/capacitor-badge';
export { CapacitorUpdater } from '@capgo/capacitor-updater';

export const SharedTodayWidget = registerPlugin('SharedTodayWidget');

// Off the phone the plug-in packages fall back to the browser's own means
// (its notification prompt among them), which the page does not want.
export const onThePhone = Capacitor.isNativePlatform();
