#include "platform/ExtendedPath.h"

#include <algorithm>

std::wstring ExtendedPath(std::wstring_view fullPath) {
  std::wstring path(fullPath);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (path.size() <= ClassicPathLimit || path.starts_with(L"\\\\?\\") ||
      path.starts_with(L"\\\\.\\")) {
    return path;
  }
  if (path.starts_with(L"\\\\")) {
    return L"\\\\?\\UNC\\" + path.substr(2);
  }
  return L"\\\\?\\" + path;
}
