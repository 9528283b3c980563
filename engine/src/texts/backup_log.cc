// "backup.log": one line per new version a save stores, or fails to store.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

constexpr std::string_view kCopied = "REM SOURCE={SOURCE}  DestDir = {DEST}\n";
constexpr std::string_view kCopyError = "COPY ERROR!! SOURCE={SOURCE}  DestDir = {DEST}\n";

}  // namespace

std::string BackupLogCopied(std::string_view source, std::string_view copy_folder) {
  return Fill(kCopied, {{"SOURCE", source}, {"DEST", copy_folder}});
}

std::string BackupLogCopyError(std::string_view source, std::string_view copy_folder) {
  return Fill(kCopyError, {{"SOURCE", source}, {"DEST", copy_folder}});
}

}  // namespace snapshot::texts
