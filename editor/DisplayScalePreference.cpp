#include "editor/DisplayScalePreference.h"

#include "editor/PreferencesFolder.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <system_error>

namespace ondrell::editor {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFileSuffix = "-display-scale.txt";
// No scale line written by this program comes near this length ("%.4f" of the largest float is 44 bytes); a
// longer first line is not a scale, and reading stops there instead of taking in a whole foreign file.
constexpr size_t kMaxLineLength = 256;

bool IsSpace(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The first line of the file without its line feed. False when the file cannot be opened or the line is too
// long to be a scale.
bool ReadFirstLine(const std::string& path, std::string& line)
{
  // Only a regular file: opening a pipe or device placed there could block the editor.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec))
    return false;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  line.clear();
  char c = 0;
  while (in.get(c) && c != '\n')
  {
    if (line.size() == kMaxLineLength)
      return false;
    line.push_back(c);
  }
  return true;
}

// A name for the temporary file next to path that no other writer picks at the same moment.
std::string TemporaryPathFor(const std::string& path)
{
  unsigned long long tag = 0;
  try
  {
    std::random_device device;
    tag = (static_cast<unsigned long long>(device()) << 32) ^ device();
  }
  catch (...)
  {
    // No random source: the clock and this call's stack address still differ between writers in practice.
    const int local = 0;
    tag = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&local));
  }
  char hex[17] = {};
  std::to_chars(hex, hex + 16, tag, 16);
  return path + ".tmp-" + hex;
}

// Writes the new first line followed by everything after the first line feed of the existing file (if any).
bool WriteReplacingFirstLine(const std::string& existing, const std::string& target, const std::string& firstLine)
{
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out)
    return false;
  out << firstLine;
  std::error_code ec;
  if (!fs::is_regular_file(existing, ec))
  {
    out.flush();
    return out.good();
  }
  std::ifstream in(existing, std::ios::binary);
  if (in)
  {
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (in && in.peek() != std::char_traits<char>::eof())
      out << in.rdbuf();
  }
  out.flush();
  return out.good();
}

} // namespace

std::string PreferencesFile(const char* name)
{
  if (name == nullptr || name[0] == '\0')
    return {};
  const std::string folder = PreferencesFolder();
  if (folder.empty())
    return {};
  std::string file(name);
  std::replace_if(
    file.begin(), file.end(),
    [](char c) {
      return c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
             c == '|';
    },
    '_');
  return folder + file + kFileSuffix;
}

bool ParseDisplayScaleLine(const std::string& line, float& scale)
{
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p != end && IsSpace(*p))
    ++p;
  // The number reader takes no plus sign of its own; one is allowed, as the C library's conversion allows it.
  if (p != end && *p == '+')
  {
    ++p;
    if (p != end && (*p == '+' || *p == '-'))
      return false;
  }
  float value = 0.f;
  const auto [numberEnd, error] = std::from_chars(p, end, value);
  if (error != std::errc() || numberEnd == p)
    return false;
  if (!std::all_of(numberEnd, end, IsSpace))
    return false;
  if (!std::isfinite(value) || !(value > 0.f))
    return false;
  scale = value;
  return true;
}

bool LoadDisplayScale(const char* name, float& scale)
{
  const std::string path = PreferencesFile(name);
  if (path.empty())
    return false;
  std::string line;
  if (!ReadFirstLine(path, line) || line.empty())
    return false;
  return ParseDisplayScaleLine(line, scale);
}

bool SaveDisplayScale(const char* name, float scale)
{
  if (!std::isfinite(scale) || !(scale > 0.f))
    return false;
  const std::string folder = PreferencesFolder();
  const std::string path = PreferencesFile(name);
  if (folder.empty() || path.empty())
    return false;

  if (!MakePreferencesFolder(folder))
    return false;

  char number[64] = {};
  const auto written = std::to_chars(number, number + sizeof(number) - 1, scale, std::chars_format::fixed, 4);
  if (written.ec != std::errc())
    return false;
  const std::string firstLine = std::string(number, written.ptr) + "\n";

  const std::string temporary = TemporaryPathFor(path);
  std::error_code ec;
  if (!WriteReplacingFirstLine(path, temporary, firstLine))
  {
    fs::remove(temporary, ec);
    return false;
  }
  fs::rename(temporary, path, ec);
  if (ec)
  {
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

float ReadDisplayScale()
{
  float scale = 1.f;
  if (!LoadDisplayScale(kDisplayScalePrefName, scale))
    return 1.f;
  return std::max(kMinStoredScale, std::min(kMaxStoredScale, scale));
}

} // namespace ondrell::editor
