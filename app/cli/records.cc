#include "records.h"

#include <cstdio>
#include <cstring>

namespace quillow {
namespace {

std::string FieldText(const char (&field)[SS_TEXT_FIELD]) {
  return std::string(field, strnlen(field, SS_TEXT_FIELD));
}

FileVersionInfo ToFileVersion(const SSFileRecord& record) {
  FileVersionInfo info;
  info.key = FieldText(record.fileKey);
  info.date = FieldText(record.date);
  info.time = FieldText(record.time);
  info.attributes = FieldText(record.attributes);
  info.type = FieldText(record.type);
  info.source_folder = FieldText(record.sourceFolder);
  info.source_name = FieldText(record.sourceName);
  info.store_path = FieldText(record.storePath);
  info.store_folder = FieldText(record.storeFolder);
  info.alias = FieldText(record.alias);
  info.version = FieldText(record.version);
  info.last_snapshot = FieldText(record.lastSnapshot);
  info.size = record.size;
  return info;
}

std::vector<FileVersionInfo> ToFileVersions(const std::vector<SSFileRecord>& records, LONG n) {
  std::vector<FileVersionInfo> out;
  for (LONG i = 0; i < n && i < static_cast<LONG>(records.size()); ++i)
    out.push_back(ToFileVersion(records[static_cast<size_t>(i)]));
  return out;
}

}  // namespace

std::vector<SnapshotInfo> ListSnapshots(const EngineLibrary& engine) {
  const LONG count = engine.GetSSImgCount();
  std::vector<SSImgRecord> records(count > 0 ? static_cast<size_t>(count) : 0);
  const LONG n = records.empty() ? 0 : engine.ListSSImg("", records.data());
  std::vector<SnapshotInfo> out;
  for (LONG i = 0; i < n && i < count; ++i) {
    const SSImgRecord& record = records[static_cast<size_t>(i)];
    out.push_back({FieldText(record.name), FieldText(record.imageName), FieldText(record.comments),
                   FieldText(record.date), FieldText(record.time), record.valid,
                   record.kernelFileCount, record.userFileCount});
  }
  return out;
}

std::vector<FileVersionInfo> SnapshotFiles(const EngineLibrary& engine, const std::string& name) {
  const LONG count = engine.GetSSImgInfoCount(name.c_str());
  std::vector<SSFileRecord> records(count > 0 ? static_cast<size_t>(count) : 0);
  const LONG n = records.empty() ? 0 : engine.GetSSImgInfo(records.data(), name.c_str());
  return ToFileVersions(records, n);
}

std::vector<FileVersionInfo> StoredVersions(const EngineLibrary& engine,
                                            const std::string& filter) {
  const LONG count = engine.GetSSFilesCount();
  std::vector<SSFileRecord> records(count > 0 ? static_cast<size_t>(count) : 0);
  const LONG n = records.empty() ? 0 : engine.ListSSFiles(filter.c_str(), records.data());
  return ToFileVersions(records, n);
}

bool OpenEngine(EngineLibrary& engine, std::string* error) {
  if (!engine.Load(error)) return false;
  if (engine.init_status() != SS_OK)
    std::fprintf(stderr, "quillow: warning: %s (%d); see \"quillow check\"\n",
                 StatusMeaning(engine.init_status()).c_str(),
                 static_cast<int>(engine.init_status()));
  return true;
}

}  // namespace quillow
