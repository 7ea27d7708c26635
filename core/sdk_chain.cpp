#include "core/sdk_chain.h"

#include <cstdlib>

#include "core/camera_object.h"
#include "quvex_platform/clock.h"

namespace quvex {

template <class Record>
Record* CTRing<Record>::Add(int handle, std::shared_ptr<CQuvex> object, Record* prev, Record* next) {
  auto* record = new Record{handle, std::move(object), prev, next};
  if (head_ == nullptr) {
    count_ = 1;
    record->next = record->prev = record;
  } else {
    ++count_;
    record->prev = head_->prev;
    record->next = head_;
    head_->prev->next = record;
    head_->prev = record;
  }
  head_ = record;
  return record;
}

template <class Record>
int CTRing<Record>::RemoveHead() {
  if (head_ == nullptr) return 0;
  Record* old = head_;
  if (old->next == old) {
    count_ = 0;
    head_ = nullptr;
  } else {
    --count_;
    old->prev->next = old->next;
    old->next->prev = old->prev;
    head_ = old->next;
  }
  delete old;
  return 1;
}

template <class Record>
void CTRing<Record>::Clear() {
  while (RemoveHead() != 0) {
  }
}

template <class Record>
int CTRing<Record>::Find(int key) {
  if (head_ == nullptr) return 0;
  const int last = head_->prev->handle;
  while (head_->handle != key) {
    if (head_->handle == last) return 0;
    head_ = head_->next;
  }
  return 1;
}

template class CTRing<CSDKDATA>;

CSdkChain::~CSdkChain() {
  // Objects the host never released are stopped and freed with the records,
  // so no capture thread runs on in a library that is being unloaded.
  std::lock_guard lock(mutex_);
  Clear();
}

int CSdkChain::Create(const Factory& factory) {
  const uint32_t t = platform::TickCount();
  const int r = std::rand();
  std::shared_ptr<CQuvex> object;
  try {
    object = factory();
  } catch (...) {
    return 0;
  }
  if (!object) return 0;
  std::lock_guard lock(mutex_);
  uint32_t handle = t + static_cast<uint32_t>(r) + static_cast<uint32_t>(count_);
  // Step past 0 and past handles in use; Find is allowed to move the head.
  while (handle == 0 || Find(static_cast<int>(handle)) != 0) ++handle;
  Add(static_cast<int>(handle), std::move(object), nullptr, nullptr);
  return static_cast<int>(handle);
}

std::shared_ptr<CQuvex> CSdkChain::Lookup(int handle) {
  std::lock_guard lock(mutex_);
  if (Find(handle) == 0) return nullptr;
  return head_->object;
}

std::shared_ptr<CQuvex> CSdkChain::Remove(int handle) {
  std::lock_guard lock(mutex_);
  if (Find(handle) == 0) return nullptr;
  std::shared_ptr<CQuvex> object = std::move(head_->object);
  RemoveHead();
  return object;
}

CSdkChain& SdkChain() {
  static CSdkChain chain;
  return chain;
}

}  // namespace quvex
