#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "foundation/Timer.h"

namespace quarn {

class BtRuntime;
class DownloadContext;
class PieceStorage;

// A condition that ends seeding once met.
class SeedCriteria {
 public:
  virtual ~SeedCriteria() = default;
  virtual bool evaluate() = 0;
  // Starts measuring now.
  virtual void reset() = 0;
};

// Seeding lasts a fixed time after completion.
class TimeSeedCriteria : public SeedCriteria {
 public:
  explicit TimeSeedCriteria(std::chrono::seconds duration);
  bool evaluate() override;
  void reset() override;

 private:
  std::chrono::seconds duration_;
  Timer timer_;
};

// Seeding lasts until the upload reaches ratio times what is complete.
class ShareRatioSeedCriteria : public SeedCriteria {
 public:
  ShareRatioSeedCriteria(double ratio, std::shared_ptr<DownloadContext> downloadContext);
  bool evaluate() override;
  void reset() override {}
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }
  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }

 private:
  double ratio_;
  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
};

// Met as soon as one of its members is.
class UnionSeedCriteria : public SeedCriteria {
 public:
  bool evaluate() override;
  void reset() override;
  void addSeedCriteria(std::unique_ptr<SeedCriteria> criteria) {
    criterion_.push_back(std::move(criteria));
  }

 private:
  std::vector<std::unique_ptr<SeedCriteria>> criterion_;
};

}  // namespace quarn
