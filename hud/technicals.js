// The terminal companion's technical snapshot, shared by the ticket, the picking estimate,
// the COT row and the copilot. A failed read keeps the last good record.

var cachedTechnicals = null;

async function updateCachedTechnicals() {
  try {
    const rec = await fetchChartSnapshot();
    if (!rec || typeof rec !== 'object' || Array.isArray(rec)) return;
    const before = cachedTechnicals && cachedTechnicals.Symbol;
    cachedTechnicals = rec;
    if (rec.Symbol !== before) refreshCOTData();
  } catch (e) { /* keep the previous record */ }
}

// Current price from the snapshot as a positive number, or 0 when unknown.
function technicalsPrice() {
  const n = cachedTechnicals ? Number(cachedTechnicals.CurrentPrice) : NaN;
  return isFinite(n) && n > 0 ? n : 0;
}

// Ticket fields carry two decimals on instruments priced above 20, four otherwise.
function formatTicketPrice(p, reference) {
  return Number(p).toFixed(reference > 20 ? 2 : 4);
}
