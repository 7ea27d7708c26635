// The process-wide registry of camera objects by handle: a circular doubly
// linked list whose head moves onto every record a lookup finds. One lock
// guards it, and a record holds its camera object by shared ownership, so a
// call in progress on one thread keeps its object alive while another thread
// releases the handle.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace quvex {

class CQuvex;

struct CSDKDATA {
  int handle;
  std::shared_ptr<CQuvex> object;
  CSDKDATA* prev;
  CSDKDATA* next;
};

template <class Record>
class CTRing {
 public:
  CTRing() = default;
  CTRing(const CTRing&) = delete;
  CTRing& operator=(const CTRing&) = delete;
  virtual ~CTRing() { Clear(); }

  // Links a new record in as the head; prev and next are overwritten.
  virtual Record* Add(int handle, std::shared_ptr<CQuvex> object, Record* prev, Record* next);
  int RemoveHead();
  void Clear();
  // 1 with the head moved onto the record of key; 0 when not found.
  int Find(int key);

  Record* Head() const { return head_; }
  int Count() const { return count_; }

 protected:
  Record* head_ = nullptr;
  int count_ = 0;
};

class CSdkChain : public CTRing<CSDKDATA> {
 public:
  using Factory = std::function<std::shared_ptr<CQuvex>()>;

  ~CSdkChain() override;

  // Creates a camera object with factory and registers it under a new handle
  // (never 0, never one already registered); 0 when creation fails.
  int Create(const Factory& factory);
  // The object of handle, or null.
  std::shared_ptr<CQuvex> Lookup(int handle);
  // Takes the object out of the record of handle and removes the record.
  std::shared_ptr<CQuvex> Remove(int handle);

 private:
  std::mutex mutex_;
};

// The one registry of this library.
CSdkChain& SdkChain();

}  // namespace quvex
