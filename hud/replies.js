// AI reply rendering: noise removal, trade-proposal extraction and the markdown subset
// the copilot understands.
//
// A reply is untrusted text. It is escaped once, before any formatting rule runs, so the
// only tags in the output are the ones the rules below write; none of the rules depends
// on a character that escaping changes.

function cleanLatexMath(text) {
  return String(text === undefined || text === null ? '' : text)
    .replace(/\\text\{([^{}]*)\}/g, '$1')
    .replace(/\\times/g, ' × ')
    .replace(/\\cdot/g, ' · ')
    .replace(/\\approx/g, ' ≈ ')
    .replace(/\\le\b/g, ' ≤ ')
    .replace(/\\ge\b/g, ' ≥ ')
    .replace(/\\pm\b/g, ' ± ')
    .replace(/\\left\(/g, '(')
    .replace(/\\right\)/g, ')')
    .replace(/\\([{}$])/g, '$1')
    .replace(/\\frac\{([^{}]*)\}\{([^{}]*)\}/g, '($1 / $2)');
}

// Inline rules over text that is already escaped.
function applyInlineMd(escaped) {
  return escaped
    .replace(/\*\*([^*]+)\*\*/g, '<strong style="color:#ffffff">$1</strong>')
    .replace(/__([^_]+)__/g, '<strong style="color:#ffffff">$1</strong>')
    .replace(/\*([^*]+)\*/g, '<em style="color:#c0c4ce">$1</em>')
    .replace(/_([^_]+)_/g, '<em style="color:#c0c4ce">$1</em>')
    .replace(/`([^`]+)`/g, '<code class="qv-md-code">$1</code>');
}

// Runs over our own markup: the upper-case words cannot occur inside the tags we write.
function applyBadges(html) {
  return html
    .replace(/\b(STRONG_BULLISH|STRONG BULLISH|BULLISH)\b/g, '<span class="qv-badge-bull">$1</span>')
    .replace(/\b(STRONG_BEARISH|STRONG BEARISH|BEARISH)\b/g, '<span class="qv-badge-bear">$1</span>')
    .replace(/\b(STAND ASIDE|NO NEW ENTRY|NEUTRAL)\b/g, '<span class="qv-badge-alert">$1</span>');
}

function formatListItem(escapedText) {
  const kv = /^(?:\*\*|__|\*|_)?([^*_:]+?)(?:\*\*|__|\*|_)?:(?:\*\*|__|\*|_)?\s*([\s\S]*)$/.exec(escapedText);
  let content;
  if (kv && kv[1].trim().length > 0 && kv[1].trim().length < 40 && kv[1].toLowerCase().indexOf('http') === -1) {
    content = '<span class="qv-md-bullet-key">' + kv[1].trim() + ':</span> ' + applyInlineMd(kv[2]);
  } else {
    content = applyInlineMd(escapedText);
  }
  return '<li class="qv-md-bullet"><span class="qv-md-bullet-dot">&#9670;</span>' +
    '<span class="qv-md-bullet-txt">' + applyBadges(content) + '</span></li>';
}

function formatAIMarkdown(text) {
  let src = String(text === undefined || text === null ? '' : text);
  src = src.replace(/\$\$([\s\S]+?)\$\$/g, function (m, formula) {
    return '\n__QV_CALC_START__' + cleanLatexMath(formula.replace(/[\r\n]+/g, ' ').trim()) +
      '__QV_CALC_END__\n';
  });
  src = src.replace(/\$([^$\r\n]+)\$/g, function (m, formula) { return cleanLatexMath(formula); });
  src = cleanLatexMath(src);
  src = src.replace(/(?:\r?\n)+[\s*•\-]*$/, '').trim();
  if (src === '') return '';

  const lines = escapeHtml(src).split(/[\r\n]+/);
  const out = [];
  let open = '';  // '', 'list' or 'table'
  let tableRows = 0;
  function close() {
    if (open === 'list') out.push('</ul>');
    else if (open === 'table') out.push('</table>');
    open = '';
  }
  for (let i = 0; i < lines.length; i++) {
    const line = lines[i].trim();
    if (line === '' || line === '*' || line === '-' || line === '+' || line === '•') {
      close();
      continue;
    }
    if (line.indexOf('__QV_CALC_START__') !== -1) {
      close();
      const formula = line.replace('__QV_CALC_START__', '').replace('__QV_CALC_END__', '').trim();
      out.push('<div class="qv-calc-card"><span class="qv-calc-icon">&#128290;</span>' +
        '<span class="qv-calc-txt">' + applyInlineMd(formula) + '</span></div>');
      continue;
    }
    if (line === '---' || line === '***' || line === '___') {
      close();
      out.push('<hr class="qv-md-hr">');
      continue;
    }
    const heading = /^(#{1,6})\s*(.+)$/.exec(line);
    if (heading) {
      close();
      const level = heading[1].length;
      const title = heading[2].replace(/`/g, '').replace(/\binstitutional\b/gi, '')
        .replace(/\s+/g, ' ').trim();
      const cls = level === 1 ? 'qv-md-h1' : level === 2 ? 'qv-md-h2' : 'qv-md-h3';
      out.push('<div class="' + cls + '">&#9670; ' + applyInlineMd(title) + '</div>');
      continue;
    }
    if (line.length >= 2 && line.charAt(0) === '|' && line.charAt(line.length - 1) === '|') {
      if (/^[\s:|\-]+$/.test(line)) continue;
      if (open !== 'table') {
        close();
        out.push('<table class="qv-md-table">');
        open = 'table';
        tableRows = 0;
      }
      const cells = line.slice(1, -1).split('|');
      const tag = tableRows === 0 ? 'th' : 'td';
      let row = '<tr>';
      for (let c = 0; c < cells.length; c++) {
        row += '<' + tag + '>' + applyInlineMd(cells[c].trim()) + '</' + tag + '>';
      }
      out.push(row + '</tr>');
      tableRows++;
      continue;
    }
    const item = /^(?:[*\-+]|\d+\.)\s+(.+)$/.exec(line);
    if (item) {
      if (open !== 'list') {
        close();
        out.push('<ul class="qv-md-list" style="list-style:none;padding:0;margin:4px 0">');
        open = 'list';
      }
      out.push(formatListItem(item[1]));
      continue;
    }
    close();
    out.push('<div style="margin:3px 0;font-size:10.5px;line-height:1.4">' +
      applyBadges(applyInlineMd(line)) + '</div>');
  }
  close();
  return out.join('');
}

function copilotParseJson(text) {
  try {
    const v = JSON.parse(text);
    return v && typeof v === 'object' && !Array.isArray(v) ? v : null;
  } catch (e) {
    return null;
  }
}

function salvageProposal(candidate) {
  function str(name) {
    const m = new RegExp('"' + name + '"\\s*:\\s*"([^"]+)"', 'i').exec(candidate);
    return m ? m[1] : undefined;
  }
  function num(name, pattern) {
    const m = new RegExp('"' + name + '"\\s*:\\s*(' + pattern + ')', 'i').exec(candidate);
    return m ? parseFloat(m[1]) : undefined;
  }
  const action = str('action');
  if (action !== 'BUY' && action !== 'SELL' && action !== 'STAND_ASIDE' && action !== 'NO_TRADE') {
    return null;
  }
  function pick(v, fallback) { return v === undefined || isNaN(v) ? fallback : v; }
  return {
    action: action,
    symbol: str('symbol') || 'XAUUSD',
    confidence: pick(num('confidence', '\\d+'), action === 'STAND_ASIDE' ? 50 : 85),
    entry_price: pick(num('entry_price', '[0-9.]+'), 0),
    stop_loss: pick(num('stop_loss', '[0-9.]+'), 0),
    take_profit: pick(num('take_profit', '[0-9.]+'), 0),
    risk_pct: pick(num('risk_pct', '[0-9.]+'), 0.3),
    suggested_lots: pick(num('suggested_lots', '[0-9.]+'), 0.1),
    risk_reward: str('risk_reward') || '1:2.0',
    confluence: ['Mid-range chop / Equilibrium', 'Capital preservation active',
      'Watch range boundaries before trading']
  };
}

// Returns { text, proposal, salvaged } where text is the reply without noise and without
// the proposal, proposal is the parsed object or null, and salvaged tells that the
// proposal was repaired from a reply that was cut off.
function extractTradeProposal(rawReply) {
  let text = String(rawReply === undefined || rawReply === null ? '' : rawReply);
  text = text
    .replace(/<thought>[\s\S]*?<\/thought>/gi, '')
    .replace(/<think>[\s\S]*?<\/think>/gi, '')
    .replace(/\((?:Wait|Thinking|Note to self)[^)]*\)/gi, '')
    .replace(/^(?:Wait|Thinking|Note to self).*(?:\r?\n)*/gim, '')
    .replace(/^[\s,.\-]+/, '');

  let proposal = null;
  let salvaged = false;
  const fenced = /```(?:json(?::trade[ _\-]?proposal)?)?\s*(\{[\s\S]*?"action"[\s\S]*?\})\s*```/i.exec(text);
  if (fenced) {
    proposal = copilotParseJson(fenced[1]);
    text = text.slice(0, fenced.index) + text.slice(fenced.index + fenced[0].length);
  }

  if (!proposal) {
    const bare = /\{[\s\S]*?"action"\s*:\s*"(?:BUY|SELL|STAND_ASIDE|NO_TRADE|NEUTRAL)"[\s\S]*?\}/i.exec(text);
    if (bare) {
      proposal = copilotParseJson(bare[0]);
      text = text.slice(0, bare.index) + text.slice(bare.index + bare[0].length);
    }
  }

  if (!proposal) {
    let start = text.indexOf('{"action"');
    if (start === -1) {
      const m = /\{\s*"action"\s*:/i.exec(text);
      start = m ? m.index : -1;
    }
    if (start !== -1) {
      const candidate = text.slice(start).trim().replace(/```\s*$/, '').trim();
      text = text.slice(0, start).trim();
      proposal = copilotParseJson(candidate);
      // A closing brace added or fields picked out of a cut-off reply make a proposal
      // nobody wrote whole: it is shown, never sent without a click.
      if (!proposal && candidate.charAt(candidate.length - 1) !== '}') {
        proposal = copilotParseJson(candidate + '\n}');
        salvaged = !!proposal;
      }
      if (!proposal) {
        proposal = salvageProposal(candidate);
        salvaged = !!proposal;
      }
    }
  }

  text = text
    .replace(/```(?:json(?::trade[ _\-]?proposal)?)?/gi, '')
    .replace(/```/g, '')
    .replace(/(?:\r?\n)+\s*(?:\*|\d+\.|-|\+)\s*$/, '')
    .trim();
  return { text: text, proposal: proposal, salvaged: salvaged };
}

function isCardAction(action) {
  return action === 'BUY' || action === 'SELL' || action === 'STAND_ASIDE' ||
    action === 'NO_TRADE' || action === 'NEUTRAL';
}
