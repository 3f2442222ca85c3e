#pragma once
// A code path that the processor picks (wide vector stores where it has them, or the plain
// code), set for a scope and put back after it, so that a target can run both paths on any
// processor and compare them.
namespace pixhaul::fuzz {

template <bool (*Enabled)(), void (*Set)(bool)>
class PathSwitch {
  public:
    explicit PathSwitch(bool wide) { Set(wide); }
    ~PathSwitch() { Set(was_); }
    PathSwitch(const PathSwitch&) = delete;
    PathSwitch& operator=(const PathSwitch&) = delete;

  private:
    bool was_ = Enabled();
};

}  // namespace pixhaul::fuzz
