// Keeps the overview and the task page current: events.php waits a few seconds for the
// service's notices and answers with them, the disks present and the tasks; then it is
// asked again at once.
'use strict';

(function () {
  const notices = document.getElementById('notices');
  const tasks = document.getElementById('tasks');
  let disksSeen = notices ? notices.dataset.disks : null;
  let disksNoted = false;

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function note(text) {
    if (!notices) return;
    const p = el('p', 'msg notice', text);
    p.setAttribute('role', 'status');
    notices.prepend(p);
  }

  function progress(percent) {
    const bar = el('progress', 'task-progress');
    if (percent !== null) {
      bar.max = 100;
      bar.value = percent;
      bar.textContent = percent + ' %';
    }
    return bar;
  }

  // The overview draws the task table itself; the task page only updates its rows.
  function showTasks(list) {
    if (!tasks) return;
    if (tasks.dataset.rows === 'server') {
      for (const t of list) {
        const row = tasks.querySelector('tr[data-task="' + t.code + ':' + t.first + '"]');
        if (!row) continue;
        row.querySelector('.state').textContent = t.stateText;
        row.querySelector('.task-progress').replaceWith(progress(t.percent));
      }
      return;
    }
    tasks.replaceChildren();
    if (list.length === 0) {
      tasks.append(el('p', 'hint', 'No background task is running or stopped.'));
      return;
    }
    const table = el('table');
    for (const t of list) {
      const tr = el('tr');
      tr.dataset.task = t.code + ':' + t.first;
      tr.append(el('td', '', t.name), el('td', '', t.target), el('td', 'state', t.stateText));
      const cell = el('td');
      cell.append(progress(t.percent));
      tr.append(cell);
      table.append(tr);
    }
    tasks.append(table);
  }

  function apply(answer) {
    if (!answer.login) {
      window.location = 'login.php';
      return;
    }
    if (answer.error) note(answer.error);
    for (const n of answer.notices || []) note(n.text);
    if (disksSeen !== null && answer.disks !== disksSeen && !disksNoted) {
      disksNoted = true;
      note('The set of disks has changed: reload the page to see it.');
    }
    showTasks(answer.tasks || []);
  }

  async function poll(wait) {
    for (;;) {
      try {
        const r = await fetch('events.php?wait=' + wait, {credentials: 'same-origin'});
        const answer = await r.json();
        apply(answer);
        // While a task starts or runs, ask again soon so that its progress moves on screen.
        wait = (answer.tasks || []).some((t) => t.state === 2 || t.state === 5) ? 1 : 4;
      } catch (e) {
        // The server is restarting or the network is down: try again shortly.
        await new Promise((resolve) => setTimeout(resolve, 2000));
      }
    }
  }

  if (notices || tasks) poll(0);
})();
