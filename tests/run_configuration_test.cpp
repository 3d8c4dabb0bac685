#include "app/run_configuration.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct ConfigurationCase {
  const char* what;
  std::string content;
  int32_t itemCount;
  int32_t fontSize;
};

class RunConfigurationTable : public testing::TestWithParam<ConfigurationCase> {};

TEST_P(RunConfigurationTable, ReadsBothNumbersOrStopsWhereTheFileGoesWrong) {
  const ConfigurationCase& c = GetParam();
  std::istringstream in(c.content);
  int32_t itemCount = 0;
  int32_t fontSize = 0;
  readRunConfigurationFrom(in, itemCount, fontSize);
  EXPECT_EQ(itemCount, c.itemCount) << c.what;
  EXPECT_EQ(fontSize, c.fontSize) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    SizeTxt, RunConfigurationTable,
    testing::Values(
        ConfigurationCase{"space separated", "3 48", 3, 48},
        ConfigurationCase{"two CR LF lines", "3\r\n48\r\n", 3, 48},
        ConfigurationCase{"tabs and blank lines", "\t\n 3 \t\n\n\v\f48", 3, 48},
        ConfigurationCase{"empty", "", 0, 0}, ConfigurationCase{"whitespace only", " \r\n\t", 0, 0},
        ConfigurationCase{"a letter first", "x 48", 0, 0},
        ConfigurationCase{"a lone sign", "- 48", 0, 0},
        ConfigurationCase{"a byte-order mark first",
                          "\xEF\xBB\xBF"
                          "3 48",
                          0, 0},
        ConfigurationCase{"count alone", "3", 3, 0},
        ConfigurationCase{"count and line break", "3\n", 3, 0},
        ConfigurationCase{"decimal point", "3.5 48", 3, 0},
        ConfigurationCase{"comma separated", "3,48", 3, 0},
        ConfigurationCase{"second number signed, no space", "12-48", 12, -48},
        ConfigurationCase{"explicit plus", "+3 -48", 3, -48},
        ConfigurationCase{"negative count", "-2 48", -2, 48},
        ConfigurationCase{"minus zero", "-0 7", 0, 7},
        ConfigurationCase{"leading zeros", "007 048", 7, 48},
        ConfigurationCase{"count above the 32-bit range", "2147483648 48", INT32_MAX, 0},
        ConfigurationCase{"count below the 32-bit range", "-2147483649 48", INT32_MIN, 0},
        ConfigurationCase{"twenty digits", "99999999999999999999 48", INT32_MAX, 0},
        ConfigurationCase{"size at the lower limit", "3 -2147483648", 3, INT32_MIN},
        ConfigurationCase{"size above the range", "3 2147483648", 3, INT32_MAX},
        ConfigurationCase{"second number unreadable", "3 abc", 3, 0},
        ConfigurationCase{"anything after both", "3 48 words 9", 3, 48},
        ConfigurationCase{"hexadecimal is not read", "0x10 48", 0, 0},
        ConfigurationCase{"digit grouping is not read", "1,000 48", 1, 0}));

TEST(RunConfiguration, AMissingFileLeavesBothValuesAlone) {
  std::ifstream missing("/nonexistent/size.txt");
  int32_t itemCount = 0;
  int32_t fontSize = 0;
  readRunConfigurationFrom(missing, itemCount, fontSize);
  EXPECT_EQ(itemCount, 0);
  EXPECT_EQ(fontSize, 0);
}

}  // namespace
