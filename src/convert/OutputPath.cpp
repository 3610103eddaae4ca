#include "convert/OutputPath.h"

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
  const std::size_t mark = path.find_last_of(".\\/:");
  std::string result(mark != std::string_view::npos && path[mark] == '.' ? path.substr(0, mark)
                                                                         : path);
  result += extension;
  return result;
}
