#include "views/depfile.h"

namespace tessarn {

void Dependencies::note(const std::string& path, std::vector<std::string>* paths,
                              std::set<std::string>* seen) {
  if (seen->insert(path).second) paths->push_back(path);
}

std::unique_ptr<ReadStream> DependencyRecorder::openForReading(const std::string& name) {
  std::unique_ptr<ReadStream> stream = files_->openForReading(name);
  if (stream) record_->addPrerequisite(name);
  return stream;
}

std::unique_ptr<RandomAccessFile> DependencyRecorder::openRandomAccess(const std::string& name) {
  std::unique_ptr<RandomAccessFile> file = files_->openRandomAccess(name);
  if (file) record_->addPrerequisite(name);
  return file;
}

std::unique_ptr<WriteStream> DependencyRecorder::create(const std::string& name) {
  std::unique_ptr<WriteStream> stream = files_->create(name);
  if (stream) record_->addTarget(name);
  return stream;
}

std::string Dependencies::rule() const {
  std::string out;
  for (const std::string& target : targets_) {
    if (!out.empty()) out += ' ';
    out += escapeForMake(target);
  }
  out += ':';
  for (const std::string& prerequisite : prerequisites_) {
    out += ' ';
    out += escapeForMake(prerequisite);
  }
  out += '\n';
  return out;
}

std::string escapeForMake(std::string_view path) {
  std::string out;
  size_t backslashes = 0;  // in a row, just before the byte at hand
  for (char c : path) {
    if (c == ' ' || c == '#') {
      out.append(backslashes, '\\');  // each of them escaped
      out += '\\';
    } else if (c == '$') {
      out += '$';
    }
    out += c;
    backslashes = c == '\\' ? backslashes + 1 : 0;
  }
  return out;
}

}  // namespace tessarn
