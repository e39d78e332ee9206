#pragma once
// Where trace lines go.
//
// Every traced line is handed to the current sink. The default sink writes
// the line and a newline to standard error. Tests install a CaptureSink for
// their scope to look at what was traced:
//
//   Trace::CaptureSink capture;
//   QTRACE(trace_, 5, "entryRemove: key:" << 7);
//   EXPECT_EQ(capture.lines(), std::vector<std::string>{"entryRemove: key:7"});
#include <string>
#include <string_view>
#include <vector>

namespace Trace {

class Handle;

class Sink {
 public:
  virtual ~Sink() = default;
  // One traced line, without its newline.
  virtual void line(const Handle& handle, std::string_view text) = 0;
};

// The sink lines go to now (the standard-error sink unless one was installed).
Sink* sink() noexcept;
// Installs a sink; nullptr restores the standard-error sink. The caller keeps
// ownership and must restore the previous sink before destroying its own.
void sinkIs(Sink* sink) noexcept;

// Collects traced lines for as long as it lives: installs itself on
// construction and puts the previous sink back on destruction, so captures
// nest. Meant for the thread that traces.
class CaptureSink : public Sink {
 public:
  CaptureSink();
  ~CaptureSink() override;
  CaptureSink(const CaptureSink&) = delete;
  CaptureSink& operator=(const CaptureSink&) = delete;

  void line(const Handle& handle, std::string_view text) override;

  const std::vector<std::string>& lines() const noexcept { return lines_; }
  void clear() noexcept { lines_.clear(); }

 private:
  Sink* previous_;
  std::vector<std::string> lines_;
};

}  // namespace Trace
