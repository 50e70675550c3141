// Where the console's screen goes in the tab: scaled to fit with its aspect kept, centred
// between black bars; and the way back from a point of the tab to a pixel of the console's
// screen, a point on the bars counting as the nearest edge (so a drag past the picture still
// reaches the remote edge). Pure: tested without a browser.

export function fitView(remote, area) {
  if (remote.width <= 0 || remote.height <= 0 || area.width <= 0 || area.height <= 0) {
    return { x: 0, y: 0, width: 0, height: 0 };
  }
  const scale = Math.min(area.width / remote.width, area.height / remote.height);
  const width = Math.round(remote.width * scale), height = Math.round(remote.height * scale);
  return { x: Math.floor((area.width - width) / 2), y: Math.floor((area.height - height) / 2), width, height };
}

export function remotePoint(remote, target, at) {
  const clamp = (v, most) => Math.min(Math.max(v, 0), most);
  if (target.width <= 0 || target.height <= 0) return { x: 0, y: 0 };
  return {
    x: clamp(Math.floor(((at.x - target.x) * remote.width) / target.width), remote.width - 1),
    y: clamp(Math.floor(((at.y - target.y) * remote.height) / target.height), remote.height - 1),
  };
}

// The button mask of a PointerEvent: left 1, right 4; the middle button sends nothing.
export function buttonMask(buttons) { return (buttons & 1) | ((buttons & 2) << 1); }

// When a viewer whose link dropped tries again: soon at first, then less and less often, and
// never after `limit` milliseconds from the drop (as `vantrel view` does).
export class Backoff {
  constructor(limit, droppedAt) { this.limit = limit; this.droppedAt = droppedAt; this.delay = 0; }
  // When the next attempt is due, the last having failed at `now`; null when the time is up.
  next(now) {
    const end = this.droppedAt + this.limit;
    if (this.limit <= 0 || now >= end) return null;
    this.delay = this.delay === 0 ? 250 : Math.min(this.delay * 2, 4000);
    return Math.min(now + this.delay, end);  // the last attempt comes at the limit rather than not at all
  }
}
