// Kestrion for the browser: every download the browser starts over http,
// https or ftp is offered to Kestrion through its native-messaging host,
// while the browser's own download goes on. When Kestrion took the file, or
// the user cancelled its question, the browser's download is cancelled and
// erased; otherwise, and whenever the host cannot be reached, the browser
// keeps it.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;

const HOST = "com.morvane.kestrion";
const OFFERED_SCHEMES = ["http:", "https:", "ftp:"];
// The host's answers after which the browser's copy is not wanted.
const DROPPING_ANSWERS = ["taken", "cancelled"];

function schemeOf(url) {
  try {
    return new URL(url).protocol;
  } catch {
    return "";
  }
}

// Chromium knows the size and not yet the file name at this point; Firefox
// knows the path it writes to and not the size (-1).
function requestFor(item) {
  return {
    url: item.finalUrl || item.url,
    mime: item.mime || "",
    filename: item.filename || "",
    referrer: item.referrer || "",
    size: Number.isFinite(item.totalBytes) && item.totalBytes > 0 ? item.totalBytes : -1,
  };
}

// A download that finished while the user was asked is a whole file: it
// stays. One still running is cancelled, which removes its partial file,
// and leaves the browser's list.
async function dropBrowserCopy(id) {
  const [item] = await api.downloads.search({ id });
  if (!item || item.state !== "in_progress") return;
  await api.downloads.cancel(id);
  await api.downloads.erase({ id });
}

// One question to the host on a port of its own: while a native port is
// open, Chromium keeps the extension's service worker running, however long
// the user takes to answer, where a one-off message is bound by the worker's
// time limits.
function askHost(request) {
  return new Promise((resolve, reject) => {
    const port = api.runtime.connectNative(HOST);
    let answered = false;
    port.onMessage.addListener((reply) => {
      answered = true;
      port.disconnect();
      resolve(reply);
    });
    port.onDisconnect.addListener((closed) => {
      const error = closed.error ?? api.runtime.lastError;
      if (!answered) reject(new Error(error?.message ?? "the host ended without an answer"));
    });
    port.postMessage(request);
  });
}

async function offer(item) {
  const request = requestFor(item);
  if (!OFFERED_SCHEMES.includes(schemeOf(request.url))) return;
  let reply;
  try {
    reply = await askHost(request);
  } catch (error) {
    console.warn(`Kestrion could not be asked; the browser keeps ${request.url}: ${error.message}`);
    return;
  }
  if (DROPPING_ANSWERS.includes(reply?.answer)) await dropBrowserCopy(item.id);
  else if (reply?.error) console.warn(`Kestrion's host refused the download: ${reply.error}`);
}

api.downloads.onCreated.addListener((item) => {
  offer(item).catch((error) => console.warn(`Kestrion: ${error.message ?? error}`));
});
