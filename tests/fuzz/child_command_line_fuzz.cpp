// The command line a child is started with, split back by Windows' rules, gives exactly the
// values given. Input: the values, separated by NUL bytes (a value cannot hold one), as
// UTF-16 code units (fuzz::Wide16); a NUL inside the wide text is refused.
#include "daemon/child_table.h"
#include "fuzz_support.h"
#include "windows_argv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::wstring> values;
  for (const std::string& part : fuzz::Split(fuzz::Bytes(data, size), '\0'))
    values.push_back(fuzz::Wide16(part));
  const std::wstring program = L"C:\\Program Files\\Quorvale Workspace\\Quorvale.exe";
  bool holdsNul = false;
  for (const std::wstring& v : values) holdsNul |= v.find(L'\0') != std::wstring::npos;

  const std::optional<std::wstring> line = BuildChildCommandLine(program, values);
  FUZZ_CHECK(line.has_value() == !holdsNul);
  if (!line) return 0;
  const std::vector<std::wstring> args = fuzz::SplitWindowsCommandLine(*line);
  FUZZ_CHECK(args.size() == values.size() + 1);
  FUZZ_CHECK(args[0] == program);
  for (std::size_t i = 0; i < values.size(); ++i) FUZZ_CHECK(args[i + 1] == values[i]);
  return 0;
}
