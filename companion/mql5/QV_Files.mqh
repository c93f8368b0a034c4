// Files of the common folder: the bridge folder the workspace shares and the companion's
// own folder beside it (executed-id markers, chart registry, executor locks). Every write
// replaces the target whole (temporary file, then rename), so no reader ever sees half a
// file.
#ifndef QV_FILES_MQH
#define QV_FILES_MQH

#include "QV_Text.mqh"

const string QV_BRIDGE = "Quorvale\\";
const string QV_OWN = "QuorvaleCompanion\\";

#define QV_READ_OK 0
#define QV_READ_MISSING 1
#define QV_READ_TOO_BIG 2
#define QV_READ_FAILED 3

// Failures that come back on every pass (a file another program holds open, say) are told
// once a minute per file, not every 20 ms.
class QvGate {
 public:
  string m_keys[32];
  ulong m_at[32];
  int m_next;

  QvGate() { m_next = 0; }

  bool Tell(const string key) {
    ulong now = GetTickCount64();
    for (int i = 0; i < 32; i++) {
      if (m_keys[i] != key) continue;
      if (now - m_at[i] < 60000) return false;
      m_at[i] = now;
      return true;
    }
    m_keys[m_next] = key;
    m_at[m_next] = now;
    m_next = (m_next + 1) % 32;
    return true;
  }
};

class QvFiles {
 public:
  static bool Exists(const string path) { return FileIsExist(path, FILE_COMMON); }

  static long Size(const string path) { return FileGetInteger(path, FILE_SIZE, true); }

  // On a clock the reference does not name: compare it only with another file's date.
  static long Modified(const string path) { return FileGetInteger(path, FILE_MODIFY_DATE, true); }

  // Reads a whole UTF-8 file. A file larger than maxBytes is not read at all: the bridge
  // files are small, and an oversized one is a fault to log, never a reason to stall.
  static int Read(const string path, long maxBytes, string &text) {
    text = "";
    long size = Size(path);
    if (size < 0) return QV_READ_MISSING;
    if (size > maxBytes) return QV_READ_TOO_BIG;
    int h = FileOpen(path, FILE_READ | FILE_BIN | FILE_ANSI | FILE_SHARE_READ | FILE_SHARE_WRITE |
                               FILE_COMMON,
                     0, CP_UTF8);
    if (h == INVALID_HANDLE) return QV_READ_FAILED;
    if (size > 0) text = FileReadString(h, (int)size);
    FileClose(h);
    // A byte-order mark decodes to U+FEFF; the formats never start with one.
    if (StringLen(text) > 0 && StringGetCharacter(text, 0) == 0xFEFF)
      text = QvText::Sub(text, 1, StringLen(text) - 1);
    return QV_READ_OK;
  }

  // Writes text to a temporary file in the target's folder, then renames it over the
  // target. tag keeps the temporary names of two charts apart. A failure is told through
  // the gate, with the terminal's error code.
  static bool Write(const string folder, const string name, const string text, const string tag,
                    QvGate &gate) {
    string tmp = folder + "~" + name + "." + tag + ".tmp";
    ResetLastError();
    int h = FileOpen(tmp, FILE_WRITE | FILE_BIN | FILE_ANSI | FILE_COMMON, 0, CP_UTF8);
    if (h == INVALID_HANDLE) {
      if (gate.Tell(folder + name))
        Print("Quorvale: cannot create " + tmp + " (error " + QvText::Int(GetLastError()) + ")");
      return false;
    }
    uint written = FileWriteString(h, text);
    FileClose(h);
    if (StringLen(text) > 0 && written == 0) {
      if (gate.Tell(folder + name))
        Print("Quorvale: cannot write " + tmp + " (error " + QvText::Int(GetLastError()) + ")");
      FileDelete(tmp, FILE_COMMON);
      return false;
    }
    ResetLastError();
    if (!FileMove(tmp, FILE_COMMON, folder + name, FILE_COMMON | FILE_REWRITE)) {
      // Another program holds the target open (the terminal opens files without delete
      // sharing, so one advisor reading it blocks another's rename); the next pass retries.
      if (gate.Tell(folder + name))
        Print("Quorvale: cannot replace " + folder + name + " (error " +
              QvText::Int(GetLastError()) + "); trying again, told once a minute");
      FileDelete(tmp, FILE_COMMON);
      return false;
    }
    return true;
  }

  // Creates folder+name only when it does not exist yet: the rename without FILE_REWRITE
  // fails when the name is taken, so of several writers exactly one succeeds.
  static bool CreateExclusive(const string folder, const string name, const string text,
                              const string tag) {
    string tmp = folder + "~" + name + "." + tag + ".tmp";
    int h = FileOpen(tmp, FILE_WRITE | FILE_BIN | FILE_ANSI | FILE_COMMON, 0, CP_UTF8);
    if (h == INVALID_HANDLE) return false;
    uint written = FileWriteString(h, text);
    FileClose(h);
    bool won = (StringLen(text) == 0 || written > 0) &&
               FileMove(tmp, FILE_COMMON, folder + name, FILE_COMMON);
    if (!won) FileDelete(tmp, FILE_COMMON);
    return won;
  }

  // Renames without replacing: the claim of an order file.
  static bool Claim(const string from, const string to) {
    return FileMove(from, FILE_COMMON, to, FILE_COMMON);
  }

  static bool Delete(const string path) { return FileDelete(path, FILE_COMMON); }
};

#endif
