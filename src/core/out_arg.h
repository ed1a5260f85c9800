// Output arguments of the exported entry points. A host may pass a null
// pointer for an output it does not want; the work function then writes to
// a scratch value that is dropped when the call ends.
#pragma once

namespace gonioctl {

template <typename T>
class Out {
  public:
    explicit Out(T *p) : p_(p) {}
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;

    // The host's variable, or the scratch value when the host passed null.
    operator T &() { return p_ != nullptr ? *p_ : scratch_; }

  private:
    T *p_;
    T scratch_{};
};

}  // namespace gonioctl
