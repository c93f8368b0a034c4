// The common folder of the shim: a real directory, with the terminal's rules for files
// another program holds open (no delete sharing in MQL5, so neither a rename nor a delete
// of them succeeds), a file clock of its own and a sticky last error.
#include <dirent.h>
#include <fnmatch.h>
#include <stdio.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>
#include <sys/stat.h>

#include "mql5_shim.h"
#include "mql5_shim_internal.h"

using shim::S;

namespace {
struct OpenFile {
  FILE* f = nullptr;
  string path;
  bool written = false;
};
std::vector<OpenFile>& Files() {
  static std::vector<OpenFile> files;
  return files;
}
struct Find {
  bool used = false;
  std::vector<string> names;
};
std::vector<Find>& Finds() {
  static std::vector<Find> finds;
  return finds;
}
std::multiset<string>& Held() {
  static std::multiset<string> held;
  return held;
}

string Real(const string& name) {
  string p = name;
  std::replace(p.begin(), p.end(), '\\', '/');
  return shim::M().commonDir + "/" + p;
}
void MakeParent(const string& path) {
  for (size_t p = path.find('/', 1); p != string::npos; p = path.find('/', p + 1))
    mkdir(path.substr(0, p).c_str(), 0755);
}
bool IsOpen(const string& path) {
  if (Held().count(path) > 0) return true;
  for (const OpenFile& f : Files())
    if (f.f && f.path == path) return true;
  return false;
}
bool Fail(int error) {
  S().lastError = error;
  return false;
}
}  // namespace

namespace shim {
void ResetFiles() {
  for (OpenFile& f : Files())
    if (f.f) std::fclose(f.f);
  Files().clear();
  Finds().clear();
  Held().clear();
}
void HoldOpen(const string& name) {
  Held().insert(Real(name));
}
void Release(const string& name) {
  auto it = Held().find(Real(name));
  if (it != Held().end()) Held().erase(it);
}
}  // namespace shim

bool FileIsExist(const string& name, int) {
  struct stat st;
  return stat(Real(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
long FileGetInteger(const string& name, ENUM_FILE_PROPERTY_INTEGER prop, bool) {
  struct stat st;
  if (stat(Real(name).c_str(), &st) != 0) {
    S().lastError = ERR_FILE_NOT_EXIST;
    return -1;
  }
  if (prop == FILE_SIZE) return static_cast<long>(st.st_size);
  // The reference does not say which clock a file's date is on; here it is on none of the
  // terminal's three, so only a comparison with another file's date means anything.
  if (prop == FILE_MODIFY_DATE)
    return shim::M().fileClockStopped ? 1700000000
                                      : static_cast<long>(st.st_mtime) + shim::M().fileOffset;
  if (prop == FILE_CREATE_DATE) return static_cast<long>(st.st_ctime) + shim::M().fileOffset;
  return 1;
}
int FileOpen(const string& name, int flags, int, uint) {
  string path = Real(name);
  if (flags & FILE_WRITE) MakeParent(path);
  FILE* f = std::fopen(path.c_str(), (flags & FILE_WRITE) ? "wb" : "rb");
  if (!f) {
    S().lastError = ERR_CANNOT_OPEN_FILE;
    return INVALID_HANDLE;
  }
  // Handles are reused once closed, so a runner open for days keeps a short table.
  for (size_t i = 0; i < Files().size(); i++)
    if (!Files()[i].f) {
      Files()[i] = OpenFile{f, path, (flags & FILE_WRITE) != 0};
      return static_cast<int>(i);
    }
  Files().push_back(OpenFile{f, path, (flags & FILE_WRITE) != 0});
  return static_cast<int>(Files().size() - 1);
}
string FileReadString(int h, int length) {
  if (h < 0 || h >= static_cast<int>(Files().size()) || !Files()[h].f) return "";
  string out(length > 0 ? length : 0, '\0');
  size_t n = std::fread(&out[0], 1, out.size(), Files()[h].f);
  out.resize(n);
  if (out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.erase(0, 3);
  return out;
}
uint FileWriteString(int h, const string& text, int) {
  if (h < 0 || h >= static_cast<int>(Files().size()) || !Files()[h].f) return 0;
  return static_cast<uint>(std::fwrite(text.data(), 1, text.size(), Files()[h].f));
}
void FileClose(int h) {
  if (h < 0 || h >= static_cast<int>(Files().size()) || !Files()[h].f) return;
  std::fclose(Files()[h].f);
  Files()[h].f = nullptr;
  // The file clock follows the tick count, which Sleep and the tests move on: a file
  // written after a (simulated) wait is that much younger.
  if (Files()[h].written && shim::M().slept >= 1000) {
    struct utimbuf t;
    t.actime = t.modtime = std::time(nullptr) + static_cast<time_t>(shim::M().slept / 1000);
    utime(Files()[h].path.c_str(), &t);
  }
}
bool FileMove(const string& from, int, const string& to, int modeFlags) {
  string src = Real(from);
  string dst = Real(to);
  struct stat st;
  if (stat(src.c_str(), &st) != 0) return Fail(ERR_FILE_NOT_EXIST);
  if (IsOpen(src) || IsOpen(dst)) return Fail(ERR_CANNOT_OPEN_FILE);
  MakeParent(dst);
  if (modeFlags & FILE_REWRITE)
    return std::rename(src.c_str(), dst.c_str()) == 0 || Fail(ERR_FILE_CANNOT_REWRITE);
  // Without FILE_REWRITE the move fails when the target exists, atomically: a hard link
  // cannot be created over an existing name.
  if (link(src.c_str(), dst.c_str()) != 0) return Fail(ERR_FILE_CANNOT_REWRITE);
  return unlink(src.c_str()) == 0 || Fail(ERR_CANNOT_DELETE_FILE);
}
bool FileDelete(const string& name, int) {
  string path = Real(name);
  if (IsOpen(path)) return Fail(ERR_CANNOT_DELETE_FILE);
  return unlink(path.c_str()) == 0 || Fail(ERR_FILE_NOT_EXIST);
}
long FileFindFirst(const string& filter, string& name, int) {
  string path = Real(filter);
  size_t slash = path.rfind('/');
  string dir = path.substr(0, slash);
  string pattern = path.substr(slash + 1);
  std::vector<string> names;
  if (auto* dp = opendir(dir.c_str())) {
    while (auto* e = readdir(dp))
      if (fnmatch(pattern.c_str(), e->d_name, 0) == 0) names.push_back(e->d_name);
    closedir(dp);
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) return INVALID_HANDLE;
  name = names.front();
  names.erase(names.begin());
  size_t slot = 0;
  while (slot < Finds().size() && Finds()[slot].used) slot++;
  if (slot == Finds().size()) Finds().emplace_back();
  Finds()[slot].used = true;
  Finds()[slot].names = names;
  return static_cast<long>(slot);
}
bool FileFindNext(long h, string& name) {
  if (h < 0 || h >= static_cast<long>(Finds().size()) || Finds()[h].names.empty()) return false;
  name = Finds()[h].names.front();
  Finds()[h].names.erase(Finds()[h].names.begin());
  return true;
}
void FileFindClose(long h) {
  if (h < 0 || h >= static_cast<long>(Finds().size())) return;
  Finds()[h].used = false;
  Finds()[h].names.clear();
}
