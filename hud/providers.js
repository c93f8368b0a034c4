// AI provider requests, reply extraction and Gemini model resolution.
//
// Requests go straight from the HUD's world to the provider with the trader's own key (the
// host's secrets push), through this world's fetch, and the reply is read with this world's
// own JSON: a page that wraps fetch, Response or JSON sees and changes nothing. A key
// appears only where the provider expects it: a header, or Gemini's documented `key`
// query parameter. Nothing here writes a key to the console.

const providers = (function () {
  // One resolved id per preferred selector value for the page's lifetime, so switching the
  // selector between Gemini models takes effect while each choice lists models only once.
  const geminiModelCache = Object.create(null);

  function getProviderEndpoints() {
    return {
      gemini: 'https://generativelanguage.googleapis.com',
      deepseek: 'https://api.deepseek.com',
      openrouter: 'https://openrouter.ai',
      openai: 'https://api.openai.com',
      claude: 'https://api.anthropic.com'
    };
  }

  function getProviderKeyPages() {
    return {
      gemini: 'https://aistudio.google.com/app/apikey',
      deepseek: 'https://platform.deepseek.com/api_keys',
      openrouter: 'https://openrouter.ai/keys',
      openai: 'https://platform.openai.com/api-keys',
      claude: 'https://console.anthropic.com/settings/keys'
    };
  }

  // Which provider serves a model-select value; null for values no provider claims.
  function routeProvider(modelValue) {
    const v = String(modelValue || '');
    if (v.indexOf('gemini') !== -1) return { id: 'gemini', name: 'Google Gemini' };
    if (v.indexOf('deepseek') !== -1) return { id: 'deepseek', name: 'DeepSeek' };
    if (v === 'openrouter') return { id: 'openrouter', name: 'OpenRouter Universal' };
    if (v === 'gpt-4o') return { id: 'openai', name: 'OpenAI' };
    if (v.indexOf('claude') !== -1) return { id: 'claude', name: 'Anthropic Claude' };
    return null;
  }

  function openRouterModelOf() {
    return settings.secret('openrouter_model').trim() || 'google/gemini-2.0-flash-001';
  }

  // req: { provider, key, model, systemPrompt, userPrompt, chartB64, dataHost }
  // Returns { url, init } for fetch.
  function buildProviderRequest(req) {
    const ep = getProviderEndpoints();
    const image = req.chartB64 ? String(req.chartB64) : '';
    const headers = { 'Content-Type': 'application/json' };
    let url;
    let body;
    if (req.provider === 'gemini') {
      const parts = [{ text: req.userPrompt }];
      if (image) parts.push({ inlineData: { mimeType: 'image/png', data: image } });
      const generationConfig = { temperature: 0.2, maxOutputTokens: 4096 };
      const m = String(req.model);
      if (m.indexOf('2.5') !== -1 || m.indexOf('3.8') !== -1 || m.indexOf('thinking') !== -1) {
        generationConfig.thinkingConfig = { thinkingBudget: 0 };
      }
      url = ep.gemini + '/v1beta/models/' + encodeURIComponent(m) + ':generateContent?key=' + encodeURIComponent(req.key);
      body = {
        system_instruction: { parts: [{ text: req.systemPrompt }] },
        contents: [{ role: 'user', parts: parts }],
        generationConfig: generationConfig
      };
    } else if (req.provider === 'deepseek') {
      url = ep.deepseek + '/chat/completions';
      headers.Authorization = 'Bearer ' + req.key;
      // DeepSeek's chat API takes no images.
      body = {
        model: req.model,
        messages: [{ role: 'system', content: req.systemPrompt }, { role: 'user', content: req.userPrompt }],
        temperature: 0.2
      };
    } else if (req.provider === 'openrouter' || req.provider === 'openai') {
      const content = [{ type: 'text', text: req.userPrompt }];
      const model = req.provider === 'openai' ? 'gpt-4o' : String(req.model);
      const lower = model.toLowerCase();
      // Reasoning models on OpenRouter reject image parts.
      const textOnly = req.provider === 'openrouter' && (lower.indexOf('deepseek') !== -1 || lower.indexOf('r1') !== -1);
      if (image && !textOnly) content.push({ type: 'image_url', image_url: { url: 'data:image/png;base64,' + image } });
      headers.Authorization = 'Bearer ' + req.key;
      if (req.provider === 'openrouter') {
        url = ep.openrouter + '/api/v1/chat/completions';
        headers['HTTP-Referer'] = 'https://' + req.dataHost;
        headers['X-Title'] = 'Quorvale Workspace';
      } else {
        url = ep.openai + '/v1/chat/completions';
      }
      body = {
        model: model,
        messages: [{ role: 'system', content: req.systemPrompt }, { role: 'user', content: content }],
        temperature: 0.2
      };
    } else if (req.provider === 'claude') {
      const content = [{ type: 'text', text: req.userPrompt }];
      if (image) content.push({ type: 'image', source: { type: 'base64', media_type: 'image/png', data: image } });
      url = ep.claude + '/v1/messages';
      headers['x-api-key'] = req.key;
      headers['anthropic-version'] = '2023-06-01';
      headers['dangerously-allow-browser'] = 'true';
      // Anthropic only answers a browser's cross-origin request that carries this header.
      headers['anthropic-dangerous-direct-browser-access'] = 'true';
      body = {
        model: 'claude-3-5-sonnet-20241022',
        system: req.systemPrompt,
        messages: [{ role: 'user', content: content }],
        max_tokens: 2048,
        temperature: 0.2
      };
    } else {
      return null;
    }
    return { url: url, init: { method: 'POST', headers: headers, body: JSON.stringify(body) } };
  }

  function providerErrorPrefix(provider) {
    switch (provider) {
      case 'gemini': return 'Gemini Inference Error: ';
      case 'deepseek': return 'DeepSeek Error: ';
      case 'openrouter': return 'OpenRouter Error: ';
      case 'openai': return 'OpenAI Error: ';
      default: return 'Claude Error: ';
    }
  }

  function providerDefaultError(provider) {
    switch (provider) {
      case 'deepseek': return 'DeepSeek error';
      case 'openrouter': return 'OpenRouter error';
      case 'openai': return 'OpenAI error';
      case 'claude': return 'Claude error';
      default: return 'Gemini error';
    }
  }

  // Returns { text } or { error } (the message, without the provider prefix).
  function extractProviderReply(provider, json) {
    if (!json || typeof json !== 'object') return { error: 'Empty reply' };
    if (json.error) {
      const err = json.error;
      if (provider === 'gemini') {
        return { error: err && err.message ? String(err.message) : 'Gemini error: ' + (err ? err.code : '') };
      }
      return { error: err && err.message ? String(err.message) : providerDefaultError(provider) };
    }
    if (provider === 'gemini') {
      const cand = Array.isArray(json.candidates) ? json.candidates[0] : null;
      const parts = cand && cand.content && Array.isArray(cand.content.parts) ? cand.content.parts : [];
      if (parts.length === 0) return { text: 'No response from model.' };
      const answer = parts.filter(function (p) { return p && !p.thought && p.text; })
        .map(function (p) { return p.text; });
      if (answer.length > 0) return { text: answer.join('\n') };
      return { text: parts.map(function (p) { return p && p.text ? p.text : ''; }).join('\n') };
    }
    if (provider === 'claude') {
      const first = Array.isArray(json.content) ? json.content[0] : null;
      return { text: first && first.text ? first.text : 'No response.' };
    }
    const choice = Array.isArray(json.choices) ? json.choices[0] : null;
    return { text: choice && choice.message && choice.message.content ? choice.message.content : 'No response.' };
  }

  // Replaces any stored key inside a text meant for display or the console.
  function redactKeys(text) {
    let out = String(text === undefined || text === null ? '' : text);
    try {
      ['gemini', 'deepseek', 'openrouter', 'openai', 'claude', 'tg_token'].forEach(function (k) {
        const key = settings.secret(k);
        if (typeof key === 'string' && key.length >= 4) {
          out = out.split(key).join('[key]');
          const enc = encodeURIComponent(key);
          if (enc !== key) out = out.split(enc).join('[key]');
        }
      });
    } catch (e) { /* nothing to redact */ }
    return out;
  }

  // Runs one provider request; resolves to { text } or { error: full error line }.
  async function callProvider(req) {
    const built = buildProviderRequest(req);
    if (!built) return { error: 'Unsupported provider' };
    try {
      const res = await hudFetch(built.url, built.init);
      const json = qvJsonParse(await res.text());
      const out = extractProviderReply(req.provider, json);
      if (out.error !== undefined) return { error: providerErrorPrefix(req.provider) + redactKeys(out.error) };
      return out;
    } catch (e) {
      return { error: providerErrorPrefix(req.provider) + redactKeys(e && e.message ? e.message : String(e)) };
    }
  }

  async function resolveActiveGeminiModel(key, preferred) {
    const pref = String(preferred || '');
    if (geminiModelCache[pref]) return geminiModelCache[pref];
    let names = [];
    try {
      const res = await hudFetch(getProviderEndpoints().gemini + '/v1beta/models?key=' + encodeURIComponent(key),
        { method: 'GET', cache: 'no-store' });
      if (res.ok) {
        const json = qvJsonParse(await res.text());
        const models = json && Array.isArray(json.models) ? json.models : [];
        names = models.filter(function (m) {
          return m && typeof m.name === 'string' && Array.isArray(m.supportedGenerationMethods) &&
            m.supportedGenerationMethods.indexOf('generateContent') !== -1;
        }).map(function (m) { return m.name.replace(/^models\//, ''); });
      }
    } catch (e) {
      names = [];
    }
    if (names.length === 0) return pref.indexOf('gemini') !== -1 ? pref : 'gemini-2.5-flash';
    let chosen;
    if (names.indexOf(pref) !== -1) {
      chosen = pref;
    } else {
      const find = function (test) {
        for (let i = 0; i < names.length; i++) if (test(names[i])) return names[i];
        return undefined;
      };
      chosen = find(function (n) { return n.indexOf('2.5-flash') !== -1; }) ||
        find(function (n) { return n.indexOf('3.8-flash') !== -1; }) ||
        find(function (n) { return n.indexOf('2.5-pro') !== -1; }) ||
        find(function (n) { return n.indexOf('flash') !== -1 && n.indexOf('1.5') === -1 && n.indexOf('2.0') === -1; }) ||
        find(function (n) { return n.indexOf('flash') !== -1; }) ||
        names[0];
    }
    geminiModelCache[pref] = chosen;
    return chosen;
  }

  function getMissingKeyHtml(providerName, keyPageAddress) {
    const url = escapeHtml(keyPageAddress);
    return '<div class="qv-missing-key" style="border:1px solid rgba(255,82,82,0.55);background:rgba(255,82,82,0.10);border-radius:6px;padding:8px">' +
      '<div style="color:#ff5252;font-weight:800;margin-bottom:4px">' + QV_ICONS.alert + ' <b>' +
        escapeHtml(providerName) + ' API Key Required</b></div>' +
      '<div style="line-height:1.45">To run chart vision and market reasoning with this model, enter your API key in your secure client vault. ' +
        'Your key is stored 100% locally on this machine by the workspace. Get key from: ' +
        '<a href="' + url + '" target="_blank" rel="noopener noreferrer" style="color:#82aaff">' + url + '</a></div>' +
      '<button type="button" class="qv-chip-btn qv-vault-callout-btn" style="margin-top:7px">' + QV_ICONS.key +
        ' Click Here to Open API Key Vault</button></div>';
  }

  return Object.freeze({
    route: routeProvider,
    keyPages: getProviderKeyPages,
    openRouterModel: openRouterModelOf,
    resolveActiveGeminiModel: resolveActiveGeminiModel,
    call: callProvider,
    redactKeys: redactKeys,
    missingKeyHtml: getMissingKeyHtml
  });
})();
