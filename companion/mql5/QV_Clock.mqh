// One clock for every age. The reference does not say which clock FILE_MODIFY_DATE uses
// (local time, UTC and server time all differ on a real PC), so "now" is the date of a file
// the advisor has just written, and every age is one file date against another.
#ifndef QV_CLOCK_MQH
#define QV_CLOCK_MQH

#include "QV_Files.mqh"

class QvClock {
 public:
  long m_fileNow;  // the file clock at m_tickAt
  ulong m_tickAt;

  QvClock() {
    m_fileNow = 0;
    m_tickAt = 0;
  }

  // path: a file written a moment ago. False (and the clock kept) when it has no date.
  bool Sync(const string path) {
    long m = QvFiles::Modified(path);
    if (m <= 0) return false;
    m_fileNow = m;
    m_tickAt = GetTickCount64();
    return true;
  }

  bool Known() { return m_fileNow > 0; }

  // Now on the file clock, carried on by the tick count between two syncs.
  long Now() {
    if (m_fileNow <= 0) return 0;
    return m_fileNow + (long)((GetTickCount64() - m_tickAt) / 1000);
  }

  // Seconds since a file was last written, or -1 when that cannot be told.
  long Age(const string path) {
    long m = QvFiles::Modified(path);
    if (m <= 0 || m_fileNow <= 0) return -1;
    return Now() - m;
  }
};

#endif
