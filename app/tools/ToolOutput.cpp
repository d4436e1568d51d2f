#include "app/tools/ToolOutput.hpp"

#include <QFile>
#include <QSaveFile>
#include <QString>

namespace tovrel::tools {

namespace {

std::string failure(const std::string& path, const QString& reason) {
  return "Tovrel could not write " + path + ": " + reason.toStdString() + ".";
}

template <class File>
std::optional<std::string> write(File& file, const std::string& path, std::string_view bytes) {
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return failure(path, file.errorString());
  const auto size = static_cast<qint64>(bytes.size());
  if (file.write(bytes.data(), size) != size) return failure(path, file.errorString());
  return std::nullopt;
}

}  // namespace

std::optional<std::string> writeAtomically(const std::string& path, std::string_view bytes) {
  QSaveFile file(QString::fromStdString(path));
  if (auto problem = write(file, path, bytes)) return problem;
  if (!file.commit()) return failure(path, file.errorString());
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path, std::string_view bytes) {
  QFile file(QString::fromStdString(path));
  if (auto problem = write(file, path, bytes)) return problem;
  file.close();
  if (file.error() != QFileDevice::NoError) return failure(path, file.errorString());
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path,
                                         const std::vector<std::uint8_t>& bytes) {
  return writeDirectly(path,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tovrel::tools
