#include "queries.h"

#include <iterator>
#include <string>
#include <vector>

#include "catalogue.h"

namespace snapshot {
namespace {

// A Size text read as a number: decimal digits with an optional sign, else 0.
int32_t ParseSize(std::string_view text) {
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i == text.size() || text.size() - i > 10) return 0;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

void FillSnapshotRecord(SSImgRecord& record, std::string_view name) {
  CopyTextField(record.name, name);
  {
    Section misc(name, cat::kMisc);
    misc.ReadTextField(cat::kImageName, record.imageName);
    misc.ReadTextField(cat::kComments, record.comments);
    misc.ReadTextField(cat::kDate, record.date);
    misc.ReadTextField(cat::kTime, record.time);
    record.valid = misc.ReadInt(cat::kValid, 0);
  }
  record.kernelFileCount = ReadInt(name, cat::kKernelFileList, cat::kFileCount, 0);
  record.userFileCount = ReadInt(name, cat::kUserFileList, cat::kFileCount, 0);
}

// The values of a stored version that its file record shows, read together, and their places
// in that list.
constexpr const char* kFileRecordValues[] = {
    cat::kDate,      cat::kTime,         cat::kAttrib,
    cat::kType,      cat::kOriginalPath, cat::kOriginalFileName,
    cat::kStorePath, cat::kStoreDir,     cat::kAlias,
    cat::kVersion,   cat::kRefCount,     cat::kSize};
enum FileRecordValue : size_t {
  kDateAt,
  kTimeAt,
  kAttribAt,
  kTypeAt,
  kOriginalPathAt,
  kOriginalFileNameAt,
  kStorePathAt,
  kStoreDirAt,
  kAliasAt,
  kVersionAt,
  kRefCountAt,
  kSizeAt
};
static_assert(std::size(kFileRecordValues) == kSizeAt + 1);

// Fills the record of the stored version `key`; `values` is reused from file to file.
void FillFileRecord(SSFileRecord& record, const Profile& references, const std::string& key,
                    ValueSet& values) {
  Section section(references, key);
  values.Read(section, kFileRecordValues);
  CopyTextField(record.fileKey, key);
  values.TextField(kDateAt, record.date);
  values.TextField(kTimeAt, record.time);
  values.TextField(kAttribAt, record.attributes);
  values.TextField(kTypeAt, record.type);
  values.TextField(kOriginalPathAt, record.sourceFolder);
  values.TextField(kOriginalFileNameAt, record.sourceName);
  values.TextField(kStorePathAt, record.storePath);
  values.TextField(kStoreDirAt, record.storeFolder);
  values.TextField(kAliasAt, record.alias);
  values.TextField(kVersionAt, record.version);
  const int last = values.Int(kRefCountAt, 1);
  section.ReadTextField(NumberedName(cat::kRefControlFile, last), record.lastSnapshot);
  record.size = ParseSize(values.Text(kSizeAt).value_or("0"));
}

}  // namespace

LONG QuerySnapshotCount() {
  return ReadInt(cat::kMaster, cat::kMisc, cat::kNumofSSImage, 0);
}

LONG QuerySnapshots(std::string_view name, SSImgRecord* buffer) {
  const std::vector<std::string> names = ReadList(SnapshotList());
  if (!name.empty()) {
    for (const std::string& listed : names) {
      if (listed == name) {
        FillSnapshotRecord(buffer[0], name);
        return 1;
      }
    }
    return 0;
  }
  for (size_t i = 0; i < names.size(); ++i) FillSnapshotRecord(buffer[i], names[i]);
  return static_cast<LONG>(names.size());
}

LONG QuerySnapshotFileCount(std::string_view name) {
  return ReadInt(name, cat::kKernelFileList, cat::kFileCount, 0) +
         ReadInt(name, cat::kUserFileList, cat::kFileCount, 0);
}

LONG QuerySnapshotFiles(SSFileRecord* buffer, std::string_view name) {
  const std::vector<std::string> keys = ReadSnapshotFileKeys(name);
  const Profile references(cat::kReferences);
  ValueSet values;
  for (size_t i = 0; i < keys.size(); ++i) FillFileRecord(buffer[i], references, keys[i], values);
  return static_cast<LONG>(keys.size());
}

LONG QueryStoredVersionCount() {
  return ReadInt(cat::kReferences, cat::kIndex, cat::kIndexCount, 0);
}

LONG QueryStoredVersions(std::string_view filter, SSFileRecord* buffer) {
  const std::vector<std::string> keys = ReadList(IndexList());
  const Profile references(cat::kReferences);
  ValueSet values;
  LONG written = 0;
  for (const std::string& key : keys) {
    if (!filter.empty() && ReadText(cat::kReferences, key, cat::kOriginalFileName) != filter)
      continue;
    FillFileRecord(buffer[written++], references, key, values);
  }
  return written;
}

}  // namespace snapshot
