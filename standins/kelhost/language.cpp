// Language files and the UTF-8 conversions of the host stand-in.
#include <windows.h>

#include <fstream>

#include "standins/kelhost/kelhost.h"

namespace kelhost {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::vector<std::wstring> LoadLanguageFile(const std::wstring& path) {
  std::vector<std::wstring> texts;
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return texts;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF) line.erase(0, 3);  // BOM
    first = false;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '"') continue;  // headers, comments, blanks
    std::string body = line.substr(start + 1);
    if (!body.empty() && body.back() == '"') body.pop_back();
    // The host's escapes: \" for a quote, \\ for a backslash, \n for a line break.
    std::string text;
    for (size_t i = 0; i < body.size(); ++i) {
      if (body[i] == '\\' && i + 1 < body.size()) {
        char c = body[++i];
        text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
      } else {
        text += body[i];
      }
    }
    texts.push_back(Wide(text));
  }
  return texts;
}

}  // namespace kelhost
