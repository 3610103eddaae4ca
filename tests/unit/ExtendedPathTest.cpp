#include "platform/ExtendedPath.h"

#include <gtest/gtest.h>

namespace {

TEST(ExtendedPath, Table) {
  const std::wstring deep = L"\\" + std::wstring(250, L'd') + L"\\menu.lang";
  struct Case {
    const char* Name;
    std::wstring Full;
    std::wstring Expected;
  };
  const Case cases[] = {
      {"a short path stays", L"C:\\Games\\menu.lang", L"C:\\Games\\menu.lang"},
      {"a long drive path", L"C:" + deep, L"\\\\?\\C:" + deep},
      {"a long share path", L"\\\\server\\share" + deep, L"\\\\?\\UNC\\server\\share" + deep},
      {"forward slashes become backslashes", L"C:/" + std::wstring(250, L'd') + L"/menu.lang",
       L"\\\\?\\C:" + deep},
      {"an extended path stays", L"\\\\?\\C:" + deep, L"\\\\?\\C:" + deep},
      {"an extended share stays", L"\\\\?\\UNC\\s\\h" + deep, L"\\\\?\\UNC\\s\\h" + deep},
      {"a device path stays", L"\\\\.\\" + std::wstring(260, L'p'),
       L"\\\\.\\" + std::wstring(260, L'p')},
      {"the classic limit exactly", L"C:\\" + std::wstring(244, L'x'),
       L"C:\\" + std::wstring(244, L'x')},
      {"one past it", L"C:\\" + std::wstring(245, L'x'), L"\\\\?\\C:\\" + std::wstring(245, L'x')},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(ExtendedPath(c.Full) == c.Expected) << c.Name;
  }
}

} // namespace
