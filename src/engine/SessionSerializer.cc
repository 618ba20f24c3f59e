#include "engine/SessionSerializer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <unordered_set>
#include <vector>

#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadResult.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/BufferedFile.h"
#include "foundation/File.h"
#include "foundation/GZipFile.h"
#include "foundation/SHA1IOFile.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

bool writeText(IOFile& fp, const std::string& text) {
  return fp.write(text.data(), text.size()) == text.size();
}

bool writeOptionLine(IOFile& fp, const Pref* pref, const std::string& value) {
  return writeText(fp, " ") && writeText(fp, pref->k) && writeText(fp, "=") &&
         writeText(fp, value) && writeText(fp, "\n");
}

// The download's own per-download options, in id order.
bool writeOption(IOFile& fp, const Option& op) {
  const auto& parser = OptionParser::getInstance();
  for (size_t i = 1, len = option::countOption(); i < len; ++i) {
    const Pref* pref = option::i2p(i);
    const OptionHandler* h = parser->find(pref);
    if (!h || !h->getInitialOption() || !op.definedLocal(pref)) {
      continue;
    }
    if (h->getCumulative()) {
      const std::string& value = op.get(pref);
      std::vector<std::string> values;
      util::split(value.begin(), value.end(), std::back_inserter(values), '\n');
      for (const auto& v : values) {
        if (!writeOptionLine(fp, pref, v)) {
          return false;
        }
      }
    } else if (!writeOptionLine(fp, pref, op.get(pref))) {
      return false;
    }
  }
  return true;
}

// Writes one record unless another one already stood for it; false on a
// failed write.
bool writeDownloadResult(IOFile& fp, std::unordered_set<GroupId::gid_t>& written,
                         const std::shared_ptr<DownloadResult>& dr, bool pauseRequested) {
  const auto& mi = dr->metadataInfo;
  if (dr->belongsTo != 0 || !dr->followedBy.empty() || (mi && mi->dataOnly())) {
    return true;
  }
  if (mi) {
    if (!written.insert(mi->getGID()).second) {
      return true;
    }
    if (!writeText(fp, mi->getUri()) || !writeText(fp, "\n") ||
        !writeOptionLine(fp, PREF_GID, GroupId::toHex(mi->getGID()))) {
      return false;
    }
  } else {
    if (!written.insert(dr->gid->getNumericId()).second) {
      return true;
    }
    if (dr->fileEntries.empty()) {
      return true;
    }
    const auto& entry = dr->fileEntries[0];
    if (entry->getRemainingUris().empty() && entry->getSpentUris().empty()) {
      return true;
    }
    std::unordered_set<std::string> uris;
    for (const auto* queue : {&entry->getRemainingUris(), &entry->getSpentUris()}) {
      for (const auto& uri : *queue) {
        if (!uris.insert(uri).second) {
          continue;
        }
        if (!writeText(fp, uri) || !writeText(fp, "\t")) {
          return false;
        }
      }
    }
    if (!writeText(fp, "\n") || !writeOptionLine(fp, PREF_GID, dr->gid->toHex())) {
      return false;
    }
  }
  if (pauseRequested && !writeOptionLine(fp, PREF_PAUSE, QN_V_TRUE)) {
    return false;
  }
  return writeOption(fp, *dr->option);
}

// Creates (or truncates) the file readable and writable by the owner only.
bool createPrivateFile(const std::string& filename) {
  int fd = ::open(filename.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd == -1) {
    return false;
  }
  bool ok = ::fchmod(fd, 0600) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

SessionSerializer::SessionSerializer(RequestGroupMan* requestGroupMan)
    : rgman_(requestGroupMan), saveError_(true), saveInProgress_(true), saveWaiting_(true) {}

bool SessionSerializer::save(const std::string& filename) const {
  const std::string tempFilename = filename + "__temp";
  if (!createPrivateFile(tempFilename)) {
    return false;
  }
  {
    std::unique_ptr<IOFile> fp;
    if (util::endsWith(filename, ".gz")) {
      fp = std::make_unique<GZipFile>(tempFilename.c_str(), IOFile::WRITE);
    } else {
      fp = std::make_unique<BufferedFile>(tempFilename.c_str(), IOFile::WRITE);
    }
    if (!*fp) {
      return false;
    }
    if (!save(*fp) || fp->close() == EOF) {
      return false;
    }
  }
  return File(tempFilename).renameTo(filename);
}

bool SessionSerializer::save(IOFile& fp) const {
  std::unordered_set<GroupId::gid_t> written;
  auto shouldSave = [this](const DownloadResult& dr) {
    switch (dr.result) {
      case error_code::FINISHED:
      case error_code::REMOVED:
        return dr.option->getAsBool(PREF_FORCE_SAVE);
      case error_code::IN_PROGRESS:
        return saveInProgress_;
      case error_code::RESOURCE_NOT_FOUND:
      case error_code::MAX_FILE_NOT_FOUND:
        return saveError_ && dr.option->getAsBool(PREF_SAVE_NOT_FOUND);
      default:
        return saveError_;
    }
  };
  for (const auto& dr : rgman_->getUnfinishedDownloadResult()) {
    if (shouldSave(*dr) && !writeDownloadResult(fp, written, dr, false)) {
      return false;
    }
  }
  for (const auto& [gid, dr] : rgman_->getDownloadResults()) {
    if (shouldSave(*dr) && !writeDownloadResult(fp, written, dr, false)) {
      return false;
    }
  }
  for (const auto& [gid, group] : rgman_->getRequestGroups()) {
    auto dr = group->createDownloadResult();
    bool save = dr->result == error_code::FINISHED || dr->result == error_code::REMOVED
                    ? dr->option->getAsBool(PREF_FORCE_SAVE)
                    : saveInProgress_;
    if (save && !writeDownloadResult(fp, written, dr, group->isPauseRequested())) {
      return false;
    }
  }
  if (saveWaiting_) {
    for (const auto& [gid, group] : rgman_->getReservedGroups()) {
      auto dr = group->createDownloadResult();
      if (!writeDownloadResult(fp, written, dr, group->isPauseRequested())) {
        return false;
      }
    }
  }
  return true;
}

std::string SessionSerializer::calculateHash() const {
  SHA1IOFile sha1io;
  if (!save(sha1io)) {
    return "";
  }
  return sha1io.digest();
}

}  // namespace quarn
