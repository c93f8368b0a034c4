#include "services/order_limits.h"

#include <cstdlib>

namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// A positive plain decimal ("0.5", "2", "1.25") and its value.
bool PositiveDecimal(const std::string& text, double* value) {
  if (text.empty() || text.size() > 16 || text.front() == '.' || text.back() == '.') return false;
  bool dot = false;
  for (const char c : text) {
    if (c == '.' && !dot) {
      dot = true;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  *value = std::strtod(text.c_str(), nullptr);
  return *value > 0;
}

// A limit compares with a little room, so 1.00 lots pass a limit written 1.00 whatever the
// binary rounding of either.
bool Over(double value, double limit) {
  return value > limit + 1e-9;
}

}  // namespace

std::string DefaultOrderLimitsText() {
  const OrderLimits defaults;
  return "# Hard limits of the Quorvale workspace for every order from the HUD and from Telegram.\n"
         "# Only you edit this file; no page or message can change it. An order over a limit\n"
         "# is refused before it is sent, with the reason.\n"
         "# MAX_LOTS: the largest lot size of one order.\n"
         "# MAX_RISK_PCT: the largest risk of one order given as R:<percent of equity>.\n"
         "MAX_LOTS=" +
         defaults.maxLotsText + "\nMAX_RISK_PCT=" + defaults.maxRiskText + "\n";
}

OrderLimits ParseOrderLimits(const std::string& text, std::string* problems) {
  OrderLimits limits;
  bool lots = false;
  bool risk = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    const std::size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    const std::string key = Trimmed(line.substr(0, eq));
    const std::string value = Trimmed(line.substr(eq + 1));
    double number = 0;
    if (key == "MAX_LOTS") {
      lots = PositiveDecimal(value, &number);
      if (lots) {
        limits.maxLots = number;
        limits.maxLotsText = value;
      }
    } else if (key == "MAX_RISK_PCT") {
      risk = PositiveDecimal(value, &number);
      if (risk) {
        limits.maxRiskPct = number;
        limits.maxRiskText = value;
      }
    }
  }
  const OrderLimits defaults;
  if (!lots) {
    limits.maxLots = defaults.maxLots;
    limits.maxLotsText = defaults.maxLotsText;
  }
  if (!risk) {
    limits.maxRiskPct = defaults.maxRiskPct;
    limits.maxRiskText = defaults.maxRiskText;
  }
  if (problems) {
    problems->clear();
    if (!lots) *problems += "MAX_LOTS";
    if (!risk) *problems += std::string(problems->empty() ? "" : ", ") + "MAX_RISK_PCT";
  }
  return limits;
}

std::string OrderLimitBroken(const Order& order, const OrderLimits& limits) {
  if (order.action != "BUY" && order.action != "SELL") return {};
  const std::string& size = order.size;
  double value = 0;
  if (size.rfind("R:", 0) == 0) {
    if (!PositiveDecimal(size.substr(2), &value)) return "unreadable risk " + size;
    if (Over(value, limits.maxRiskPct)) {
      return "risk " + size.substr(2) + " % is over the workspace's largest risk per order (" +
             limits.maxRiskText + " %)";
    }
    return {};
  }
  if (!PositiveDecimal(size, &value)) return "unreadable size " + size;
  if (Over(value, limits.maxLots)) {
    return "size " + size + " lots is over the workspace's largest lot size (" +
           limits.maxLotsText + " lots)";
  }
  return {};
}
