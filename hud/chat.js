// The copilot's chat in the drawer: the trader's lines and the copilot's, each under its
// title and the time. Whatever goes in as markup is markup this script wrote; anything
// taken from outside is escaped by the caller first.

function copilotChatBody() {
  return byId('qv-ai-chat-body');
}

function copilotScrollChat() {
  const body = copilotChatBody();
  if (body) body.scrollTop = body.scrollHeight;
}

function copilotTimeOfDay() {
  try {
    return new Date().toLocaleTimeString();
  } catch (e) {
    return '';
  }
}

function metaLineHtml(title) {
  return '<div class="qv-msg-meta">' + escapeHtml(title) + ' • ' + escapeHtml(copilotTimeOfDay()) + '</div>';
}

function appendUserMessage(text) {
  const body = copilotChatBody();
  if (!body) return null;
  const msg = document.createElement('div');
  msg.className = 'qv-msg qv-msg-user';
  // What the trader typed is shown as typed, never interpreted as markup.
  msg.innerHTML = '<div class="qv-msg-meta">YOU</div><div class="qv-msg-text"></div>';
  msg.lastChild.textContent = String(text === undefined || text === null ? '' : text);
  body.appendChild(msg);
  copilotScrollChat();
  return msg;
}

// html is markup written by this script; anything taken from outside is escaped by the caller.
function appendAIMessage(html, title) {
  const body = copilotChatBody();
  if (!body) return null;
  const msg = document.createElement('div');
  msg.className = 'qv-msg qv-msg-ai';
  msg.innerHTML = metaLineHtml(title || 'QUORVALE AI SENTINEL') + '<div class="qv-msg-text">' + html + '</div>';
  body.appendChild(msg);
  copilotScrollChat();
  return msg;
}

// A refused order's risk, the ticket's or a card's, is said here (the ticket also shows a
// dialog: the chat may be closed).
ticket.reportRefusalsTo(function (line) {
  appendAIMessage(escapeHtml(line), 'RISK CONTROL');
});
