// The report's pages, built from its data files. Everything read from a
// backup is set as text (textContent, text nodes, CSSOM numbers): never as
// markup, never as the address of something the page loads.
'use strict';

(function () {
  const TITLES = {
    index: 'Overview', contacts: 'Contacts', messages: 'Messages', calendar: 'Calendar',
    calls: 'Calls', notes: 'Notes', bookmarks: 'Bookmarks', history: 'History',
    whatsapp: 'WhatsApp', photos: 'Photos', 'voice-memos': 'Voice memos',
  };
  const STATUS_WORDS = {
    complete: 'read in full',
    incomplete: 'partly read',
    'no data': 'not in this backup',
    'not run': 'not read: the scan was stopped first',
  };

  // Data files call Keldra.receive(name, value); a page asks for one with load(name).
  const received = new Map();
  const waiting = new Map();

  function receive(name, value) {
    received.set(name, value);
    const callbacks = waiting.get(name);
    if (callbacks) {
      waiting.delete(name);
      callbacks.resolve(value);
    }
  }

  function load(name) {
    if (received.has(name)) return Promise.resolve(received.get(name));
    if (!/^[a-z0-9-]+$/.test(name)) return Promise.reject(new Error('bad data name'));
    return new Promise((resolve, reject) => {
      waiting.set(name, { resolve, reject });
      const script = document.createElement('script');
      script.src = 'data/' + name + '.js';
      script.onerror = () => {
        waiting.delete(name);
        reject(new Error('data/' + name + '.js is missing'));
      };
      document.head.appendChild(script);
    });
  }

  // An element with attributes (from this script, never from data) and
  // children: strings become text nodes.
  function el(tag, attributes, ...children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
    for (const child of children) {
      if (child === null || child === undefined || child === '') continue;
      node.append(typeof child === 'string' || typeof child === 'number' ? String(child) : child);
    }
    return node;
  }

  const text = (value) => (typeof value === 'string' ? value : value == null ? '' : String(value));

  // Only addresses a person may follow become links; the page never loads them.
  function link(url, label) {
    url = text(url);
    if (!/^(https?:|mailto:)/i.test(url)) return el('span', { class: 'url' }, label || url);
    const a = el('a', { class: 'url', rel: 'noopener noreferrer', target: '_blank' }, label || url);
    a.href = url;
    return a;
  }

  // The report's own copies of media: the only addresses a page loads from data.
  const MEDIA = /^media\/(thumbs\/)?[0-9a-f]{40}\.[a-z0-9]{1,5}$/;

  function mediaLink(media, label) {
    if (!MEDIA.test(text(media))) return el('span', {}, label);
    const a = el('a', { class: 'media', target: '_blank' }, label);
    a.href = media;
    return a;
  }

  // A thumbnail that opens the full picture; `instead` where there is none
  // (the picture could not be decoded when the report was made).
  function thumbnail(thumb, full, label, instead) {
    if (!MEDIA.test(text(thumb))) return instead;
    const img = el('img', { class: 'thumb', alt: '' });
    img.alt = label || '';
    const a = el('a', { class: 'media', target: '_blank' }, img);
    a.href = MEDIA.test(text(full)) ? full : thumb;
    img.addEventListener('error', () => a.replaceWith(instead));
    img.src = thumb;
    return a;
  }

  const INSTANT = /^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}(:\d{2}(\.\d+)?)?(Z|[+-]\d{2}:\d{2})$/;
  const two = (n) => String(n).padStart(2, '0');

  // An instant of the scan in this machine's local time, with its offset.
  function when(value) {
    value = text(value);
    if (!INSTANT.test(value)) return value;
    const d = new Date(value);
    if (isNaN(d.getTime())) return value;
    const offset = -d.getTimezoneOffset();
    const sign = offset < 0 ? '-' : '+';
    const abs = Math.abs(offset);
    return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ` +
      `${two(d.getHours())}:${two(d.getMinutes())}:${two(d.getSeconds())} ` +
      `${sign}${two(Math.floor(abs / 60))}:${two(abs % 60)}`;
  }

  function bytes(size) {
    const n = Number(size) || 0;
    if (n < 1024) return n + ' B';
    if (n < 1048576) return (n / 1024).toFixed(1) + ' KB';
    return (n / 1048576).toFixed(1) + ' MB';
  }

  function duration(seconds) {
    const s = Math.max(0, Math.round(Number(seconds) || 0));
    return `${Math.floor(s / 3600)}:${two(Math.floor(s / 60) % 60)}:${two(s % 60)}`;
  }

  // Old notes keep HTML bodies: parsed into an inert document (no scripts
  // run, nothing loads) only to take its text.
  function plainText(value) {
    value = text(value);
    if (!/^\s*</.test(value)) return value;
    const body = new DOMParser().parseFromString(value, 'text/html').body;
    for (const block of body.querySelectorAll('div,p,br,li')) block.append('\n');
    return body.textContent.replace(/\n{3,}/g, '\n\n').trim();
  }

  function field(name, value) {
    value = text(value);
    return value ? el('div', { class: 'field' }, el('span', { class: 'label' }, name), value) : null;
  }

  // The rows shown: what the search box filters.
  function item(tag, className, ...children) {
    return el(tag, { 'data-item': '', class: 'item ' + className }, ...children);
  }

  const wordsOf = (query) => query.toLowerCase().split(/\s+/).filter(Boolean);
  const matches = (node, words) => {
    const content = node.textContent.toLowerCase();
    return words.every((w) => content.includes(w));
  };

  function filter(root, query) {
    const words = wordsOf(query);
    for (const node of root.querySelectorAll('[data-item],[data-group]')) node.hidden = !matches(node, words);
  }

  // A page opened as "calls.html?q=words" starts with that search.
  function searchBox(roots) {
    const input = el('input', { type: 'search', class: 'search', placeholder: 'Search this page' });
    input.value = new URLSearchParams(location.search).get('q') || '';
    input.addEventListener('input', () => roots.forEach((root) => filter(root, input.value)));
    return input;
  }

  // ---------------------------------------------------------------- frame

  let summary = null;
  const kindOf = (name) => (summary.kinds || []).find((k) => k.name === name) || null;

  function frame(page) {
    const device = summary.device || {};
    const nav = el('nav', {}, el('a', { href: 'index.html' }, 'Overview'));
    for (const kind of summary.kinds || []) {
      if (!kind.page || !TITLES[kind.name]) continue;
      const a = el('a', { href: kind.name + '.html' }, TITLES[kind.name]);
      if (kind.name === page) a.setAttribute('aria-current', 'page');
      nav.append(a);
    }
    const main = el('main', {}, el('h1', {}, TITLES[page] || page));
    document.body.append(
      el('header', {}, el('span', { class: 'brand' }, 'Keldra report'),
        el('span', { class: 'device' }, text(device.DeviceName)), nav),
      main);
    document.title = (TITLES[page] || page) + ' — ' + (text(device.DeviceName) || 'Keldra report');
    return main;
  }

  // A page of rows at a time, with buttons to move between pages.
  function pager(count, show) {
    const bar = el('div', { class: 'pager' });
    let current = 0;
    const go = (n) => {
      current = n;
      bar.replaceChildren();
      if (count <= 1) return show(n);
      const back = el('button', { type: 'button' }, 'Previous page');
      const next = el('button', { type: 'button' }, 'Next page');
      back.disabled = n === 0;
      next.disabled = n + 1 >= count;
      back.addEventListener('click', () => go(current - 1));
      next.addEventListener('click', () => go(current + 1));
      bar.append(back, el('span', {}, `Page ${n + 1} of ${count}`), next);
      return show(n);
    };
    return { bar, go, current: () => current };
  }

  function failure(main, error) {
    main.append(el('p', { class: 'problem' }, 'This page could not be shown: ' + error.message));
  }

  // ---------------------------------------------------------------- index

  function indexPage(main) {
    const device = summary.device || {};
    const card = el('section', { class: 'card' },
      el('h2', {}, text(device.DeviceName) || 'Device'),
      field('Model', [device.ProductName, device.ProductType].filter(Boolean).join(' · ')),
      field('iOS', [device.ProductVersion, device.BuildVersion].filter(Boolean).join(' · ')),
      field('Serial number', device.SerialNumber),
      field('Identifier', device.UniqueIdentifier),
      field('Backup made', when(device.LastBackupDate)),
      field('Encrypted', summary.encrypted ? 'yes' : 'no'),
      field('Scan', (summary.scan && summary.scan.status === 'interrupted')
        ? 'stopped before its end; what was read is shown' : 'finished'),
      field('Scan started', when(summary.scan && summary.scan.started)),
      field('Report made', when(summary.made)));
    const table = el('table', { class: 'kinds' },
      el('thead', {}, el('tr', {}, el('th', {}, 'What'), el('th', {}, 'Found'),
        el('th', {}, 'Read'))));
    const body = el('tbody');
    for (const kind of summary.kinds || []) {
      const name = TITLES[kind.name] ? el('a', { href: kind.name + '.html' }, TITLES[kind.name])
        : text(kind.name);
      if (!kind.page && typeof name !== 'string') name.removeAttribute('href');
      const row = item('tr', 'kind status-' + text(kind.status).replace(/\W/g, ''),
        el('td', {}, name), el('td', {}, text(kind.found) || '—'),
        el('td', {}, STATUS_WORDS[kind.status] || text(kind.status)));
      body.append(row);
      for (const problem of kind.problems || [])
        body.append(el('tr', { class: 'problem' }, el('td', {}), el('td', { colspan: '2' }, text(problem))));
    }
    table.append(body);
    main.append(card, el('h2', {}, 'What the scan found'), table);
    const failures = ((summary.scan && summary.scan.failures) || []).concat(summary.mediaProblems || []);
    if (failures.length) {
      main.append(el('h2', {}, 'What went wrong'),
        el('ul', { class: 'problems' }, ...failures.map((f) => el('li', {}, text(f)))));
    }
    return Promise.resolve();
  }

  // ---------------------------------------------------------------- kinds

  function contactName(c) {
    const name = [c['first name'], c['middle name'], c['last name']].filter(Boolean).join(' ');
    return name || text(c['company name']) || text(c.nickname) || '(no name)';
  }

  function contactRow(c) {
    const card = item('article', 'contact', el('h3', {}, contactName(c)),
      field('Company', c['company name']), field('Job title', c['job title']),
      field('Nickname', c.nickname), field('Birthday', when(c.birthday)));
    for (const [key, values] of Object.entries(c)) {
      if (!key.startsWith('com.apple.contacts.') || !Array.isArray(values)) continue;
      const label = key.slice('com.apple.contacts.'.length);
      for (const v of values) {
        if (!v || typeof v !== 'object') continue;
        const shown = v.value !== undefined ? when(v.value)
          : Object.entries(v).filter(([k]) => !['id', 'type', 'label'].includes(k))
            .map(([, x]) => text(x)).filter(Boolean).join(', ');
        const kind = text(v.label) || text(v.type);
        card.append(field(kind ? `${label} (${kind})` : label, shown));
      }
    }
    card.append(field('Modified', when(c['modification date'])));
    return card;
  }

  function callRow(c) {
    return item('tr', 'call', el('td', {}, when(c.date)), el('td', {}, text(c.type)),
      el('td', {}, text(c.name) || text(c.address)), el('td', {}, text(c.name) ? text(c.address) : ''),
      el('td', {}, text(c.duration)), el('td', {}, text(c.location)));
  }

  function visitRow(v) {
    return item('tr', 'visit', el('td', {}, when(v.visit_time)), el('td', {}, text(v.name)),
      el('td', {}, link(v.url)));
  }

  function noteRow(n) {
    const note = item('article', 'note', el('h3', {}, text(n.subject) || '(no title)'),
      el('div', { class: 'dates' }, 'Created ' + when(n.dateCreated) + ' · modified ' +
        when(n.dateModified)));
    if (n.locked === true) {
      note.setAttribute('data-locked', '');
      note.append(el('p', { class: 'locked' },
        'Locked with a notes password: its text was not read.'));
    } else {
      note.append(el('div', { class: 'text' }, plainText(n.content)));
    }
    if (Array.isArray(n.attachments) && n.attachments.length) {
      note.append(el('div', { class: 'files' }, 'Attachments: ' + n.attachments.length));
    }
    return note;
  }

  function bookmarkRow(b) {
    const row = item('div', b.folder ? 'folder' : 'bookmark',
      b.folder ? el('span', { class: 'name' }, '▸ ' + (text(b.name) || '(folder)'))
        : link(b.url, text(b.name) || text(b.url)));
    if (!b.folder && text(b.name)) row.append(el('span', { class: 'muted' }, ' ' + text(b.url)));
    row.style.paddingLeft = (Math.min(Number(b.depth) || 0, 64) * 1.5) + 'em';
    return row;
  }

  const TABLES = {
    calls: ['When', 'Type', 'Who', 'Address', 'Duration', 'Where'],
    history: ['When', 'Title', 'Address'],
  };
  const ROWS = { contacts: contactRow, calls: callRow, history: visitRow, notes: noteRow,
    bookmarks: bookmarkRow, 'voice-memos': recordingRow };

  function listPage(main, kind) {
    const info = kindOf(kind);
    const render = ROWS[kind];
    let list;
    if (TABLES[kind]) {
      list = el('tbody');
      main.append(el('table', { class: 'list' },
        el('thead', {}, el('tr', {}, ...TABLES[kind].map((h) => el('th', {}, h)))), list));
    } else {
      list = el('div', { class: 'list ' + kind });
      main.append(list);
    }
    const search = searchBox([list]);
    main.insertBefore(search, main.children[1]);
    const row = (r) => (r && r.omitted ? omitted(r) : render(r));
    const { bar, go, current } = pager(info.parts, (n) => load(`${kind}-${n}`).then((rows) => {
      list.replaceChildren(...rows.map(row));
      filter(list, search.value);
    }));
    main.append(bar);
    if (info.parts > 1) searchEveryPage(kind, info.parts, search, list, bar, row, () => go(current()));
    return go(0);
  }

  // Where a kind has several pages, a search goes through all of them: the
  // matches of every page are shown together, and an empty box goes back to
  // the page that was open.
  const MOST_MATCHES = 5000;

  function searchEveryPage(kind, parts, search, list, bar, row, back) {
    const names = Array.from({ length: parts }, (_, n) => `${kind}-${n}`);
    let asked = 0;
    search.addEventListener('input', () => {
      const words = wordsOf(search.value);
      const mine = ++asked;
      if (!words.length) {
        bar.hidden = false;
        back();
        return;
      }
      bar.hidden = true;
      Promise.all(names.map(load)).then((pages) => {
        if (mine !== asked) return;  // a later search took over
        const found = [];
        for (const r of pages.flat()) {
          const node = row(r);
          if (matches(node, words) && found.push(node) === MOST_MATCHES) break;
        }
        if (found.length === MOST_MATCHES) {
          const note = `The first ${MOST_MATCHES} matches; add words to narrow the search.`;
          found.push(list.tagName === 'TBODY' ? el('tr', {}, el('td', { colspan: '6' }, note))
            : el('p', { class: 'muted' }, note));
        }
        list.replaceChildren(...found);
      });
    });
  }

  function omitted(r) {
    return item('div', 'omitted', `One item of ${bytes(r.omitted)} is too large to show here; ` +
      'it is in the scan\'s file.');
  }

  function loadGroups(kind) {
    const info = kindOf(kind);
    const names = [];
    for (let n = 0; n < (info.groupParts || 0); ++n) names.push(`${kind}-groups-${n}`);
    return Promise.all(names.map(load)).then((parts) => parts.flat());
  }

  function rgb(color) {
    const c = (Array.isArray(color) ? color : []).map((x) => Math.max(0, Math.min(255, Number(x) || 0)));
    return c.length === 3 ? `rgb(${c[0]}, ${c[1]}, ${c[2]})` : '';
  }

  function swatch(color) {
    const s = el('span', { class: 'swatch' });
    s.style.backgroundColor = rgb(color);
    return s;
  }

  function monthOf(value) {
    const shown = when(value);
    const m = /^(\d{4})-(\d{2})/.exec(shown);
    if (!m) return 'No date';
    return new Date(Number(m[1]), Number(m[2]) - 1, 1)
      .toLocaleString(undefined, { month: 'long', year: 'numeric' });
  }

  function calendarPage(main) {
    const info = kindOf('calendar');
    const legend = el('ul', { class: 'calendars' });
    const list = el('div', { class: 'list events' });
    const search = searchBox([list, legend]);
    main.append(search, legend, list);
    return loadGroups('calendar').then((calendars) => {
      for (const c of calendars) {
        legend.append(el('li', { 'data-group': '' }, swatch(c.color), text(c.title),
          el('span', { class: 'muted' }, ` (${Number(c.events) || 0})`)));
      }
      const { bar, go } = pager(info.parts, (n) => load(`calendar-${n}`).then((rows) => {
        list.replaceChildren();
        let month = null;
        for (const e of rows) {
          if (e && e.omitted) { list.append(omitted(e)); continue; }
          const m = monthOf(e.start_date);
          if (m !== month) list.append(el('h2', { class: 'month' }, (month = m)));
          const calendar = calendars[e.calendar] || {};
          const range = e.all_day ? `${text(e.start_date)} (all day)`
            : `${when(e.start_date)} – ${when(e.end_date)}`;
          const row = item('article', 'event', swatch(calendar.color),
            el('h3', {}, text(e.summary) || '(no title)'), el('div', { class: 'dates' }, range),
            field('Calendar', calendar.title), field('Where', e.location),
            field('Notes', e.description));
          if (text(e.url)) row.append(el('div', { class: 'field' }, el('span', { class: 'label' }, 'Link'), link(e.url)));
          if (e.recurrence) row.append(field('Repeats', 'yes' + (text(e.recurrence.until) ? ' until ' + when(e.recurrence.until) : '')));
          if (Array.isArray(e.display_alarms)) row.append(field('Alerts', String(e.display_alarms.length)));
          list.append(row);
        }
        filter(list, search.value);
      }));
      main.append(bar);
      return go(0);
    });
  }

  function photoRow(p) {
    const caption = [text(p.name), when(p.at), p.kind === 'video' ? duration(p.duration) : '',
      p.favorite ? 'favourite' : '', p.hidden ? 'hidden' : '', p.trashed ? 'recently deleted' : '']
      .filter(Boolean).join(' · ');
    const tile = item('figure', 'photo', thumbnail(p.thumb, p.full, text(p.name),
      el('div', { class: 'no-thumb' }, mediaLink(p.full, text(p.kind) || 'file'))),
    el('figcaption', {}, caption));
    tile.setAttribute('data-albums', (Array.isArray(p.albums) ? p.albums : []).map(Number).join(' '));
    return tile;
  }

  function recordingRow(r) {
    const row = item('article', 'recording', el('h3', {}, text(r.title) || '(no title)'),
      el('div', { class: 'dates' }, [when(r.at), duration(r.duration), r.deleted ? 'recently deleted' : '']
        .filter(Boolean).join(' · ')));
    if (MEDIA.test(text(r.media))) {
      const audio = el('audio', { controls: '', preload: 'none' });
      audio.src = r.media;
      row.append(audio);
    } else {
      row.append(el('p', { class: 'muted' }, 'Its sound file is not in the backup.'));
    }
    return row;
  }

  function photosPage(main) {
    const info = kindOf('photos');
    const albums = el('ul', { class: 'albums' });
    const grid = el('div', { class: 'list grid' });
    const search = searchBox([grid]);
    main.append(search, albums, grid);
    let chosen = null;
    const showAlbum = () => {
      for (const tile of grid.children) {
        const inAlbum = chosen === null || tile.getAttribute('data-albums').split(' ').includes(chosen);
        tile.classList.toggle('other-album', !inAlbum);
      }
      for (const li of albums.children) li.classList.toggle('open', li.dataset.album === chosen);
    };
    return loadGroups('photos').then((groups) => {
      const all = el('li', { 'data-album': '' }, el('a', { href: '#' }, 'All photos'));
      all.addEventListener('click', (e) => { e.preventDefault(); chosen = null; showAlbum(); });
      albums.append(all);
      groups.forEach((album, n) => {
        const li = el('li', { 'data-group': '', 'data-album': String(n) },
          el('a', { href: '#' }, text(album.title) || '(no title)'),
          el('span', { class: 'muted' }, ` (${Number(album.count) || 0})`));
        li.addEventListener('click', (e) => { e.preventDefault(); chosen = String(n); showAlbum(); });
        albums.append(li);
      });
      const { bar, go } = pager(info.parts, (n) => load(`photos-${n}`).then((rows) => {
        grid.replaceChildren(...rows.map((r) => (r && r.omitted ? omitted(r) : photoRow(r))));
        showAlbum();
        filter(grid, search.value);
      }));
      main.append(bar);
      return go(0);
    });
  }

  // ---------------------------------------------------------------- chats

  const REACTIONS = { love: '♥', like: '👍', dislike: '👎', laugh: '😂', emphasize: '‼', question: '?' };

  function messageRow(m) {
    if (m && m.omitted) return omitted(m);
    if (m.reaction) {
      const r = m.reaction;
      return item('div', 'message reaction' + (m.me ? ' me' : ''),
        `${REACTIONS[r.type] || ''} ${m.me ? 'You' : text(m.from)} ${r.removed ? 'removed' : 'reacted'} ` +
        `${text(r.type)}${text(r.quote) ? ' to “' + text(r.quote) + '”' : ''}`,
        el('span', { class: 'time' }, when(m.at)));
    }
    const bubble = item('div', 'message' + (m.me ? ' me' : '') + (m.system ? ' system' : ''));
    if (!m.me && !m.system && text(m.from)) bubble.append(el('div', { class: 'from' }, text(m.from)));
    if (text(m.subject)) bubble.append(el('div', { class: 'subject' }, text(m.subject)));
    const body = text(m.text).replace(/\uFFFC/g, '').trim();
    if (body) bubble.append(el('div', { class: 'text' }, body));
    for (const f of Array.isArray(m.files) ? m.files : []) {
      const label = `${text(f.name) || '(no name)'} (${[text(f.type), bytes(f.size)].filter(Boolean).join(', ')})`;
      bubble.append(thumbnail(f.thumb, f.media, text(f.name),
        el('div', { class: 'file' }, 'Attachment: ', mediaLink(f.media, label))));
    }
    if (Array.isArray(m.place)) bubble.append(el('div', { class: 'file' }, `Location: ${m.place.map(Number).join(', ')}`));
    bubble.append(el('div', { class: 'time' }, when(m.at)));
    return bubble;
  }

  function conversation(view, chat, search) {
    const older = el('button', { type: 'button', class: 'older' }, 'Show older messages');
    const messages = el('div', { class: 'messages' });
    view.replaceChildren(
      el('h2', {}, text(chat.name) || '(no name)'),
      el('div', { class: 'muted' }, [text(chat.detail), (chat.participants || []).map(text).join(', '),
        `${Number(chat.count) || 0} messages`].filter(Boolean).join(' · ')),
      older, messages);
    let next = 0;
    const more = () => {
      if (next >= chat.parts) return Promise.resolve();
      const part = next++;
      older.hidden = true;
      return load(`${chat.stem}-${part}`).then((rows) => {
        const keep = messages.scrollHeight - view.scrollTop;
        messages.prepend(...rows.slice().reverse().map(messageRow));
        older.hidden = next >= chat.parts;
        filter(messages, search.value);
        view.scrollTop = part === 0 ? messages.scrollHeight : messages.scrollHeight - keep;
      });
    };
    older.addEventListener('click', () => { more(); });
    return more();
  }

  function chatPage(main, kind) {
    const chatList = el('ul', { class: 'chats' });
    const view = el('section', { class: 'conversation' },
      el('p', { class: 'muted' }, 'Choose a chat.'));
    const search = searchBox([chatList, view]);
    main.append(search, el('div', { class: 'chat-layout' }, chatList, view));
    return loadGroups(kind).then((chats) => {
      chats.forEach((chat, n) => {
        const a = el('a', { href: '#c=' + n }, el('span', { class: 'name' }, text(chat.name) || '(no name)'),
          el('span', { class: 'muted' },
            [`${Number(chat.count) || 0} messages`, when(chat.last)].filter(Boolean).join(' · ')));
        chatList.append(el('li', { 'data-group': '' }, a));
      });
      const open = () => {
        const m = /^#c=(\d+)$/.exec(location.hash);
        const chat = m ? chats[Number(m[1])] : undefined;
        if (!chat) return Promise.resolve();
        for (const [n, li] of Array.from(chatList.children).entries())
          li.classList.toggle('open', String(n) === m[1]);
        return conversation(view, chat, search);
      };
      window.addEventListener('hashchange', open);
      return open();
    });
  }

  // ---------------------------------------------------------------- start

  const PAGES = { index: indexPage, calendar: calendarPage, photos: photosPage, messages: (m) => chatPage(m, 'messages'),
    whatsapp: (m) => chatPage(m, 'whatsapp') };

  function start() {
    const page = document.body.getAttribute('data-page') || 'index';
    summary = received.get('summary');
    if (!summary) {
      document.body.append(el('p', { class: 'problem' }, 'The report\'s data/summary.js is missing.'));
      return;
    }
    const main = frame(page);
    const build = PAGES[page] || (ROWS[page] && kindOf(page) ? (m) => listPage(m, page) : null);
    // data-ready says the page is drawn (or says why not): tests wait for it.
    new Promise((resolve) => resolve(build ? build(main) : Promise.reject(new Error('unknown page'))))
      .then(() => {
        const search = main.querySelector('.search');
        if (search && search.value) search.dispatchEvent(new Event('input'));
      })
      .catch((error) => failure(main, error))
      .then(() => document.body.setAttribute('data-ready', '1'));
  }

  window.Keldra = Object.freeze({ receive });
  document.addEventListener('DOMContentLoaded', start);
})();
