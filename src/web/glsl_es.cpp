// The one place where the shaders turn into GLSL ES: at load, before the show reads them.
#include "web/glsl_es.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

std::string toGlslEs(const std::string& source) {
  const std::string es = "#version 300 es";
  const std::string precision =
      "precision highp float; precision highp int; precision highp sampler2D;";
  size_t at = source.find("#version 330");
  if (at == std::string::npos) return source;
  size_t lineStart = source.rfind('\n', at);
  lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
  size_t lineEnd = source.find('\n', at);
  std::string before = source.substr(0, lineStart);
  std::string after = lineEnd == std::string::npos ? "" : source.substr(lineEnd + 1);
  if (before.empty()) return es + "\n" + precision + " " + after;
  // WebGL wants the version on the very first line. A first line that is blank or a line
  // comment can share that line with it, and the precision statements take the old
  // version line's place: every line keeps its number.
  size_t firstEnd = before.find('\n');
  size_t text = before.find_first_not_of(" \t\r");
  bool joinable = text == firstEnd || before.compare(text, 2, "//") == 0;
  if (joinable) return es + " " + before + precision + "\n" + after;
  return es + "\n" + before + precision + "\n" + after;
}

static bool isShader(const char* name) {
  size_t n = std::strlen(name);
  return n > 3 && (std::strcmp(name + n - 3, ".vs") == 0 || std::strcmp(name + n - 3, ".fs") == 0);
}

void convertShaderDirectory(const char* directory) {
  DIR* dir = opendir(directory);
  if (!dir) return;  // the show reports each missing shader when it links
  while (dirent* entry = readdir(dir)) {
    if (!isShader(entry->d_name)) continue;
    std::string path = std::string(directory) + "/" + entry->d_name;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) continue;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    std::string es = toGlslEs(text);
    f = std::fopen(path.c_str(), "wb");
    if (!f) continue;
    std::fwrite(es.data(), 1, es.size(), f);
    std::fclose(f);
  }
  closedir(dir);
}
