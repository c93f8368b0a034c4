// Text helpers for the bridge files: trimming, KEY=VALUE lines, the few JSON members the
// companion reads, number formatting. Written in the part of MQL5 that is also C++ so the
// same file compiles natively for the tests (no arrays passed, no implicit number-to-text).
#ifndef QV_TEXT_MQH
#define QV_TEXT_MQH

class QvText {
 public:
  static bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  // StringSubstr with a length of 0 is not documented to give an empty text; this is.
  static string Sub(const string s, int start, int count) {
    if (count <= 0 || start < 0 || start >= StringLen(s)) return "";
    return StringSubstr(s, start, count);
  }

  static string Trim(const string s) {
    int a = 0;
    int b = StringLen(s);
    while (a < b && IsBlank(StringGetCharacter(s, a))) a++;
    while (b > a && IsBlank(StringGetCharacter(s, b - 1))) b--;
    return Sub(s, a, b - a);
  }

  static string Upper(const string s) {
    string u = s;
    StringToUpper(u);
    return u;
  }

  static bool StartsWith(const string s, const string prefix) {
    return StringLen(prefix) <= StringLen(s) && Sub(s, 0, StringLen(prefix)) == prefix;
  }

  static bool EndsWith(const string s, const string suffix) {
    int n = StringLen(s);
    int m = StringLen(suffix);
    return m <= n && Sub(s, n - m, m) == suffix;
  }

  // Value of KEY in "KEY=VALUE" lines; a carriage return and trailing blanks are ignored,
  // the later line wins, a key must match exactly.
  static bool KeyValue(const string text, const string key, string &value) {
    bool found = false;
    int pos = 0;
    int n = StringLen(text);
    while (pos < n) {
      int end = StringFind(text, "\n", pos);
      if (end < 0) end = n;
      string line = Sub(text, pos, end - pos);
      int eq = StringFind(line, "=", 0);
      if (eq > 0) {
        string k = Sub(line, 0, eq);
        int kl = StringLen(k);
        while (kl > 0 && IsBlank(StringGetCharacter(k, kl - 1))) kl--;
        if (Sub(k, 0, kl) == key) {
          value = Trim(Sub(line, eq + 1, StringLen(line) - eq - 1));
          found = true;
        }
      }
      pos = end + 1;
    }
    return found;
  }

  // Position just after the colon of the member "key" in a flat JSON object, or -1.
  static int JsonValueStart(const string json, const string key) {
    string quoted = "\"" + key + "\"";
    int at = StringFind(json, quoted, 0);
    while (at >= 0) {
      int p = at + StringLen(quoted);
      int n = StringLen(json);
      while (p < n && IsBlank(StringGetCharacter(json, p))) p++;
      if (p < n && StringGetCharacter(json, p) == ':') {
        p++;
        while (p < n && IsBlank(StringGetCharacter(json, p))) p++;
        return p;
      }
      at = StringFind(json, quoted, at + 1);
    }
    return -1;
  }

  static bool IsNumberChar(int c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
  }

  // A number member; also a number written as a string ("4.5") and true/false as 1/0,
  // since the page writes whatever its storage held.
  static bool JsonNumber(const string json, const string key, double &out) {
    int p = JsonValueStart(json, key);
    if (p < 0) return false;
    int n = StringLen(json);
    if (p < n && StringGetCharacter(json, p) == '"') p++;
    if (Sub(json, p, 4) == "true") {
      out = 1;
      return true;
    }
    if (Sub(json, p, 5) == "false") {
      out = 0;
      return true;
    }
    int q = p;
    while (q < n && IsNumberChar(StringGetCharacter(json, q))) q++;
    if (q == p) return false;
    return ParseNumber(Sub(json, p, q - p), out);
  }

  // Strict decimal number: optional sign, digits, at most one point, at least one digit.
  static bool ParseNumber(const string s, double &out) {
    string t = Trim(s);
    int n = StringLen(t);
    if (n == 0 || n > 32) return false;
    int digits = 0;
    int points = 0;
    for (int i = 0; i < n; i++) {
      int c = StringGetCharacter(t, i);
      if (c >= '0' && c <= '9') {
        digits++;
      } else if (c == '.') {
        points++;
      } else if ((c == '-' || c == '+') && i == 0) {
        continue;
      } else {
        return false;
      }
    }
    if (digits == 0 || points > 1) return false;
    out = StringToDouble(t);
    return true;
  }

  // Text for a JSON string value: quotes, backslashes and control characters escaped.
  static string JsonEscape(const string s) {
    string out = "";
    int n = StringLen(s);
    for (int i = 0; i < n; i++) {
      int c = StringGetCharacter(s, i);
      if (c == '"') {
        out += "\\\"";
      } else if (c == '\\') {
        out += "\\\\";
      } else if (c < 32) {
        out += " ";
      } else {
        out += Sub(s, i, 1);
      }
    }
    return out;
  }

  // Values that go into KEY=VALUE request files and on to a command line: no blanks,
  // quotes, backslashes or control characters.
  static string Token(const string s) {
    string out = "";
    int n = StringLen(s);
    for (int i = 0; i < n; i++) {
      int c = StringGetCharacter(s, i);
      if (c <= 32 || c == '"' || c == '\\' || c == '=' || c == 127) continue;
      out += Sub(s, i, 1);
    }
    return out;
  }

  static string Num(double v, int digits) { return DoubleToString(v, digits); }

  // Up to eight decimals, without trailing zeros: 0.001, 2.5, 40.
  static string Short(double v) {
    string s = DoubleToString(v, 8);
    int n = StringLen(s);
    while (n > 0 && StringGetCharacter(s, n - 1) == '0') n--;
    if (n > 0 && StringGetCharacter(s, n - 1) == '.') n--;
    return Sub(s, 0, n);
  }
  static string Int(long v) { return IntegerToString(v); }
  static string Bool(bool v) { return v ? "true" : "false"; }
};

#endif
