#pragma once
// A scriptable backend for what the simulated one cannot show: refused
// opens, failed identification, failed binding, duplicate scan entries.

#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quenvar/hid/hid_backend.h"

namespace quenvar::test {

class TFakeBackend : public IHidBackend {
 public:
  bool FBindOk = true;
  int FBinds = 0;
  int FUnbinds = 0;
  std::vector<THidInterfaceInfo> FInterfaces;
  std::map<std::string, THidAttributes> FAttrs;  // by path
  std::map<std::string, int> FReadWriteErrno;    // path -> errno of a refused read-write open
  std::set<std::string> FQueryRefused;           // query-only open fails too
  std::set<std::string> FUnidentifiable;         // GetAttributes fails
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> FWrites;
  std::vector<std::string> FOpens;  // "path:access"

  void Add(const std::string& id, std::uint16_t vid, std::uint16_t pid) {
    FInterfaces.push_back({id, "/dev/" + id});
    FAttrs["/dev/" + id] = THidAttributes{vid, pid, 1};
  }

  bool Bind() override {
    ++FBinds;
    return FBindOk;
  }
  void Unbind() override { ++FUnbinds; }
  std::vector<THidInterfaceInfo> Scan() override { return FInterfaces; }

  TResult<THidHandle> Open(const std::string& path, THidAccess access) override {
    std::lock_guard<std::mutex> g(FLock);
    static const char* const kNames[] = {"rw", "query", "read", "write"};
    FOpens.push_back(path + ":" + kNames[static_cast<int>(access)]);
    if (access != THidAccess::QueryOnly && FReadWriteErrno.count(path))
      return TError{TErrorKind::Device, "refused", FReadWriteErrno[path]};
    if (access == THidAccess::QueryOnly && FQueryRefused.count(path))
      return TError{TErrorKind::Device, "refused", EACCES};
    FPaths[FNext] = path;
    return THidHandle{FNext++};
  }
  void Close(THidHandle h) override {
    std::lock_guard<std::mutex> g(FLock);
    FPaths.erase(h.FValue);
  }
  TResult<THidAttributes> GetAttributes(THidHandle h) override {
    const std::string path = PathOf(h);
    if (FUnidentifiable.count(path)) return TError{TErrorKind::Device, "no", EIO};
    return FAttrs.at(path);
  }
  TResult<THidCaps> GetCapabilities(THidHandle) override { return THidCaps{1, 0xFF00, 65, 65, 0}; }
  TResult<std::size_t> Write(THidHandle h, const void* data, std::size_t size) override {
    auto p = static_cast<const std::uint8_t*>(data);
    FWrites.push_back({PathOf(h), std::vector<std::uint8_t>(p, p + size)});
    return size;
  }
  THidReadResult Read(THidHandle, std::uint8_t*, std::size_t,
                      std::chrono::milliseconds timeout) override {
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(5)));
    return THidReadResult{THidReadStatus::Timeout, 0, 0};
  }
  IHidChangeSource* ChangeSource() override { return nullptr; }

  int OpenHandles() {
    std::lock_guard<std::mutex> g(FLock);
    return static_cast<int>(FPaths.size());
  }

 private:
  std::string PathOf(THidHandle h) {
    std::lock_guard<std::mutex> g(FLock);
    return FPaths.count(h.FValue) ? FPaths[h.FValue] : std::string();
  }
  std::mutex FLock;
  std::map<std::int64_t, std::string> FPaths;
  std::int64_t FNext = 1;
};

}  // namespace quenvar::test
