#include "config/AppDataDirectory.h"

#include <filesystem>

#include "platform/Paths.h"

std::string getAppDataDirectory() {
  std::string directory = std::filesystem::path(Platform::DataHomeDirectory()).string();
  while (directory.size() > 1 && directory.back() == '/') {
    directory.pop_back();
  }
  return directory;
}

std::string getApplicationAppDataDirectory() {
  return getAppDataDirectory() + "/Vantorell/Quorix";
}
