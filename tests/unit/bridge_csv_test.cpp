#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "bridge/csv.h"

namespace {

std::string Shown(const std::vector<std::string_view>& fields) {
  std::string out;
  for (const std::string_view f : fields) out += "[" + std::string(f) + "]";
  return out;
}

// The terminal splits the slot at every comma: an empty stop between two commas is a field
// of its own, and a trailing comma adds an empty last one (a seventh field refuses a record).
TEST(CsvRecord, EveryCommaSeparates) {
  EXPECT_EQ(Shown(SplitCsvFields("1,BUY,0.10,X,,0")), "[1][BUY][0.10][X][][0]");
  EXPECT_EQ(Shown(SplitCsvFields("a,")), "[a][]");
  EXPECT_EQ(Shown(SplitCsvFields("")), "[]");
  EXPECT_EQ(Shown(SplitCsvFields(",,")), "[][][]");
  EXPECT_EQ(Shown(SplitCsvFields("a\"b,c d")), "[a\"b][c d]") << "no quoting";
}

TEST(CsvRecord, JoinedFieldsSplitBack) {
  const std::vector<std::string_view> fields = {"171", "SELL", "", "EURUSD", "", "0"};
  const std::string line = JoinCsvFields(fields);
  EXPECT_EQ(line, "171,SELL,,EURUSD,,0");
  EXPECT_EQ(SplitCsvFields(line), fields);
  EXPECT_EQ(JoinCsvFields({}), "");
}

}  // namespace
