// Requests to a page served on the device (the widget host's device page),
// as a script makes them: to the loopback address, with the page's own
// `Host`; the first address (token in the query) answers with the page's
// cookie, which every later request carries. No browser is involved, so
// nothing here waits for the page to show anything.
import http from 'node:http';

export class PageError extends Error {
  constructor(message, status) {
    super(message);
    this.status = status;
  }
}

export class PageClient {
  // `address`: the page's first address, token included.
  constructor(address) {
    const url = new URL(address);
    this.host = url.host;
    this.port = Number(url.port);
    this.firstPath = `${url.pathname}${url.search}`;
    this.origin = url.origin;
  }

  // { status, headers, body: Buffer }
  send(method, target, { headers = {}, body } = {}) {
    const options = { host: '127.0.0.1', port: this.port, method, path: target, headers: { Host: this.host, ...headers } };
    return new Promise((resolve, reject) => {
      const request = http.request(options, (response) => {
        const chunks = [];
        response.on('data', (chunk) => chunks.push(chunk));
        response.on('end', () => resolve({ status: response.statusCode, headers: response.headers, body: Buffer.concat(chunks) }));
        response.on('error', reject);
      });
      request.on('error', (error) => reject(new PageError(`${method} ${target} on ${this.origin}: ${error.message}`)));
      request.end(body);
    });
  }

  // The page's cookie, asked for once with the first address.
  cookie() {
    this.cookieAnswer ??= this.send('GET', this.firstPath).then(({ status, headers }) => {
      const cookie = headers['set-cookie']?.[0]?.split(';')[0];
      if (!cookie) throw new PageError(`GET ${this.origin}${this.firstPath}: ${status} without the page's cookie`, status);
      return cookie;
    });
    return this.cookieAnswer;
  }

  // { status, body: Buffer }
  async request(method, route, { query = {}, json } = {}) {
    const search = new URLSearchParams(query).toString();
    const body = json === undefined ? undefined : JSON.stringify(json);
    const headers = { Cookie: await this.cookie() };
    // A change comes from the page itself, as the page's own scripts send it.
    if (method !== 'GET') Object.assign(headers, { Origin: this.origin, 'Content-Type': 'application/json' });
    return this.send(method, search ? `${route}?${search}` : route, { headers, body });
  }

  // The JSON answer of a route; a refusal throws with the page's reason.
  async json(method, route, options) {
    const { status, body } = await this.request(method, route, options);
    let answer;
    try {
      answer = JSON.parse(body.toString('utf8'));
    } catch {
      answer = undefined;
    }
    if (status !== 200) {
      const reason = answer?.error ?? (body.toString('utf8').trim() || 'no reason given');
      throw new PageError(`${method} ${route}: ${status}: ${reason}`, status);
    }
    if (answer === undefined) throw new PageError(`${method} ${route}: the answer is not JSON`, status);
    return answer;
  }

  get(route, query) {
    return this.json('GET', route, { query });
  }

  post(route, json = {}) {
    return this.json('POST', route, { json });
  }

  // Bytes of a route, e.g. a picture.
  async bytes(route) {
    const { status, body } = await this.request('GET', route);
    if (status !== 200) throw new PageError(`GET ${route}: ${status}: ${body.toString('utf8').trim()}`, status);
    return body;
  }
}
