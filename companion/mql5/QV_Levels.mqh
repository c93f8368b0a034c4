// Price or distance: how a typed stop or target is read. The HUD marks what it knows (a
// level picked on the chart or typed as a price, apart from a typed distance); an unmarked
// number is read by the rule below, which the HUD applies too (hud/level_reading.js), so
// both sides agree on every value. Pure: numbers in, a level or the reason out.
#ifndef QV_LEVELS_MQH
#define QV_LEVELS_MQH

#include "QV_Text.mqh"

// An unmarked number within this share of the market looks like a price.
#define QV_PRICE_BAND 0.10
// An unmarked number that, as a distance, stays within this share of the market could be one.
#define QV_DISTANCE_BAND 0.05

class QvLevels {
 public:
  // Digits after the decimal point as typed ("20.50" has two).
  static int Decimals(const string t) {
    int dot = StringFind(t, ".", 0);
    return dot < 0 ? 0 : StringLen(t) - dot - 1;
  }

  // text: the number as sent; kind: "PRICE", "DISTANCE" or "" (unmarked). bid and ask: the
  // market, digits its precision; unit: the price of one distance unit (a pip or a point),
  // unitName its word; whole: distances are whole units (points). A buy closes at the bid, a
  // sell at the ask: a buy's stop lies below the bid, its target above; a distance counts
  // from the entry (the ask for a buy, the bid for a sell). price: the level (0 for none),
  // not yet rounded to the tick. A marked price is taken as it is: the broker's rules, checked
  // afterwards, refuse one on the wrong side.
  static bool Read(const string text, const string kind, bool isBuy, bool isStop, double bid,
                   double ask, int digits, double unit, bool whole, const string unitName,
                   double &price, string &reason) {
    price = 0;
    string t = QvText::Trim(text);
    string what = isStop ? "stop loss" : "take profit";
    if (t == "" || t == "0") return true;
    double v = 0;
    if (!QvText::ParseNumber(t, v) || v < 0) {
      reason = what + " '" + t + "' is not a number";
      return false;
    }
    if (v == 0) return true;
    double ref = isBuy ? bid : ask;
    double entry = isBuy ? ask : bid;
    bool below = (isBuy && isStop) || (!isBuy && !isStop);
    double distance = v * unit;
    double fromDistance = below ? entry - distance : entry + distance;
    if (kind == "PRICE") {
      price = v;
      return true;
    }
    if (kind == "DISTANCE") {
      if (fromDistance <= 0) {
        reason = what + " distance " + t + " " + unitName + " reaches below zero";
        return false;
      }
      price = fromDistance;
      return true;
    }
    if (kind != "") {
      reason = what + " is marked '" + kind + "', neither a price nor a distance";
      return false;
    }
    bool priceLike = ref > 0 && MathAbs(v - ref) <= QV_PRICE_BAND * ref;
    bool distanceLike = Decimals(t) <= (whole ? 0 : 1) && distance <= QV_DISTANCE_BAND * ref &&
                        fromDistance > 0;
    if (priceLike && distanceLike) {
      reason = what + " " + t + " could be a price or a distance of " + t + " " + unitName +
               "; the order does not say which";
      return false;
    }
    if (priceLike) {
      bool rightSide = below ? v < ref : v > ref;
      if (!rightSide) {
        reason = what + " " + QvText::Num(v, digits) + " is not " + (below ? "below" : "above") +
                 " the " + (isBuy ? "bid " : "ask ") + QvText::Num(ref, digits);
        return false;
      }
      price = v;
      return true;
    }
    if (distanceLike) {
      price = fromDistance;
      return true;
    }
    reason = what + " " + t + " is neither a price near the market nor a distance in " +
             unitName + " within " + QvText::Num(QV_DISTANCE_BAND * 100, 0) + "% of it";
    return false;
  }
};

#endif
