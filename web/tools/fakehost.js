// A stand-in for the desktop program, for walking the room in an ordinary browser.
// The development server adds it to index.html ahead of room.js.
(function () {
  'use strict';
  var target = new EventTarget();
  var titles = ['Harbour at Dusk', 'Red, Blue and Yellow', 'Night Circles', 'Pears and Plums', 'The Long Swell',
    'Evening Ridge', 'Study in Primaries', 'Orbits', 'Still Life with Jug', 'North Sea'];
  var shows = {};
  for (var n = 1; n <= 10; n++) {
    if (n === 4 || n === 9) continue;
    shows[n] = { spot: n, url: 'spots/ap' + n + '.png', title: titles[n - 1], price: n % 3 === 0 ? -1 : 5000 * n,
      weeks: n % 2 ? 1 : 2, exp: Math.floor(Date.now() / 1000) + 86400 * (n % 5 + 1), mine: n === 2, action: n === 2 ? '' : 'ask' };
  }
  var arts = [{ origin: 'a1b2c3d4e5f6a7b8c9d0_0', name: 'Lantern Study' }, { origin: 'f00dfeedbeef00112233_0', name: '' }];
  function send(msg, delay) {
    setTimeout(function () { target.dispatchEvent(new MessageEvent('message', { data: msg })); }, delay || 60);
  }
  function wallsMessage() {
    return { op: 'walls', shows: Object.keys(shows).map(function (k) { var s = shows[k]; return { spot: s.spot, url: s.url, title: s.title }; }) };
  }
  function placeList(spot, status) {
    var s = shows[spot];
    if (s) {
      return { op: 'place-list', spot: spot, taken: true, arts: [], status: status || 'AP' + spot + ' is taken.', title: s.title,
        price: s.price, exp: s.exp, weeks: s.weeks, mine: s.mine, ended: false, action: s.action, buyer: '' };
    }
    return { op: 'place-list', spot: spot, taken: false, arts: arts,
      status: 'Select an artwork, then 1 week or 2 weeks.' };
  }
  var next = { ask: 'asked', pay: 'paid', accept: 'accepted' };
  function receive(msg) {
    console.log('page → host', JSON.stringify(msg));
    switch (msg.op) {
      case 'hello':
        send({ op: 'look', scale: 1.0, fps: 60 });
        send({ op: 'connected', status: 'Connected.' }, 80);
        send(wallsMessage(), 120);
        break;
      case 'select':
        send(placeList(msg.spot), 400);
        break;
      case 'place':
        shows[msg.spot] = { spot: msg.spot, url: 'spots/ap' + msg.spot + '.png', title: 'New piece', price: -1, weeks: msg.weeks,
          exp: Math.floor(Date.now() / 1000) + msg.weeks * 7 * 86400, mine: true, action: '' };
        send({ op: 'placed', spot: msg.spot, status: 'Placed on AP' + msg.spot + '.', url: shows[msg.spot].url }, 700);
        break;
      case 'remove':
        delete shows[msg.spot];
        send(wallsMessage(), 500);
        send({ op: 'removed', spot: msg.spot, status: 'Removed from AP' + msg.spot + '.' }, 520);
        break;
      case 'ask': case 'accept': case 'pay':
        shows[msg.spot].action = next[msg.op];
        send(placeList(msg.spot, msg.op === 'ask' ? 'Asked. The owner accepts next.' : msg.op === 'accept' ? 'Accepted. The buyer pays next.' : 'Paid. The owner completes the sale.'), 600);
        break;
      case 'complete':
        delete shows[msg.spot];
        send({ op: 'removed', spot: msg.spot, status: 'Completed. The frame is empty.' }, 600);
        break;
      case 'enter':
        send({ op: 'entered' }, 900);
        break;
      default:
        break;
    }
  }
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage: function (msg) { receive(JSON.parse(JSON.stringify(msg))); },
    addEventListener: function (type, fn) { target.addEventListener(type, fn); },
    removeEventListener: function (type, fn) { target.removeEventListener(type, fn); },
  };
}());
