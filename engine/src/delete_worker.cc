#include "delete_worker.h"

#include <exception>

#include "catalogue.h"
#include "registry_editor.h"
#include "release.h"
#include "settings.h"
#include "snapshot/snapshot.h"
#include "snapshot_names.h"
#include "text_file.h"
#include "worker_support.h"

namespace snapshot {
namespace {

struct Failure {};

void Require(bool ok) {
  if (!ok) throw Failure{};
}

// The backup that RollBackDelete would import. An older file is removed first and the new one
// must be a registry script: a delete that cannot back the catalogue up changes nothing, since
// a roll-back from a stale backup would lose every snapshot taken since it was made.
void ExportWithLineFeed(const std::string& file, const char* profile) {
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(file.c_str());
  Require(ExportCatalogueKey(file, ProfileKeyName(profile)));
  Require(IsRegistryScript(file));
  AppendLineFeed(file);
}

void DeleteSnapshot(const DeleteJob& job) {
  const std::string& store = job.store_dir;
  const std::string& name = job.name;
  ExportWithLineFeed(store + "snapshot.sav", cat::kMaster);
  ExportWithLineFeed(store + "cref.sav", cat::kReferences);

  // The delete's flag goes first, so that wherever the delete stops, a Valid of 0 is always
  // explained by it.
  {
    Section last_op(cat::kMaster, cat::kLastOp);
    Require(last_op.WriteInt(cat::kDoDelete, 1));
    Require(last_op.WriteText(cat::kDeleteImage, name));
  }
  Require(WriteInt(name, cat::kMisc, cat::kValid, 0));
  Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 0));
  Require(WriteInt(cat::kMaster, cat::kMisc, cat::kValid, 0));
  Require(FlushCatalogue());

  for (char letter : {'B', 'W', 'D'}) {
    const std::string batch = store + "batch\\" + BatchFileName(name, letter);
    SetFileAttributesA(batch.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(batch.c_str());
  }

  Require(ReleaseSnapshotReferences(name));
  std::string last;
  Require(RemoveFromSnapshotList(name, &last));

  Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 1));
  Require(WriteInt(cat::kMaster, cat::kMisc, cat::kValid, 1));
  {
    Section last_op(cat::kMaster, cat::kLastOp);
    Require(last_op.WriteInt(cat::kDoDelete, 0));
    Require(last_op.DeleteValue(cat::kDeleteImage));
  }
  DeleteCatalogueKey(KeyKind::kSnapshot, name);

  if (!last.empty()) {
    Section misc(last, cat::kMisc);
    const Settings settings(store);
    settings.Write(setting::kLatest, misc.ReadText(cat::kImageName));
    settings.Write(setting::kLatestTime, misc.ReadText(cat::kTime));
  }
}

}  // namespace

DWORD RunDelete(const DeleteJob& job) {
  DWORD code = SS_DELETE_FAILED;
  if (IsUsableSnapshotName(job.name)) {
    NamedMutexHold own(kDeleteMutex);
    NamedMutexHold catalogue(kCatalogueMutex);
    try {
      DeleteSnapshot(job);
      code = SS_DELETE_DONE;
    } catch (const Failure&) {
      code = SS_DELETE_FAILED;
    } catch (const std::exception&) {
      code = SS_DELETE_FAILED;
    }
    SendCompletion(job.window, code);
    return code;
  }
  SendCompletion(job.window, code);
  return code;
}

}  // namespace snapshot
