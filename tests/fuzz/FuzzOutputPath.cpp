// Replacing an extension: the result ends in the new extension, keeps the directory part as it
// was, and loses at most the old extension.
#include "Promise.h"
#include "convert/OutputPath.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  for (const std::string extension : {".txt", ".lang"}) {
    const std::string result = ReplaceExtension(path, extension);
    Promise(result.size() >= extension.size() &&
            result.compare(result.size() - extension.size(), extension.size(), extension) == 0);
    const std::string stem = result.substr(0, result.size() - extension.size());
    Promise(path.compare(0, stem.size(), stem) == 0); // the stem is a prefix of the path
    const std::size_t separator = path.find_last_of("\\/:");
    const std::size_t directory = separator == std::string::npos ? 0 : separator + 1;
    Promise(stem.size() >= directory); // the output stays in the input's directory
    const std::string removed = path.substr(stem.size());
    // At most the last extension went.
    Promise(removed.empty() ||
            (removed[0] == '.' && removed.find_first_of(".\\/:", 1) == std::string::npos));
  }
  return 0;
}
