#include "core/uOutputTrace.h"

namespace duomat {

void TOutputTrace::Set(size_t output, double time, double value) { set_.at(output).push_back({time, value}); }

void TOutputTrace::ReadBack(size_t output, double time, double value) { read_.at(output).push_back({time, value}); }

std::vector<TTracePoint> TOutputTrace::SetLine(size_t output, double now) const {
  const std::deque<TTracePoint>& points = set_.at(output);
  const double start = now - window_;
  std::vector<TTracePoint> line;
  for (size_t i = 0; i < points.size(); ++i) {
    const double until = i + 1 < points.size() ? points[i + 1].Time : now;
    if (until < start) continue;
    const double from = points[i].Time < start ? start : points[i].Time;
    line.push_back({from, points[i].Value});
    line.push_back({until, points[i].Value});  // the step's corner, or the line carried on to now
  }
  return line;
}

std::vector<TTracePoint> TOutputTrace::ReadLine(size_t output, double now) const {
  std::vector<TTracePoint> line;
  for (const TTracePoint& p : read_.at(output))
    if (p.Time >= now - window_) line.push_back(p);
  return line;
}

void TOutputTrace::Forget(double now) {
  const double start = now - window_;
  for (auto& points : set_)
    while (points.size() > 1 && points[1].Time <= start) points.pop_front();
  for (auto& points : read_)
    while (!points.empty() && points.front().Time < start) points.pop_front();
}

TWatchDogClock WatchDogClock(int timeoutSeconds, double secondsSinceLastRequest) {
  TWatchDogClock c;
  c.Elapsed = secondsSinceLastRequest < 0 ? 0 : secondsSinceLastRequest;
  c.Timeout = timeoutSeconds > 0 ? timeoutSeconds : 0;
  if (c.Timeout > 0)
    c.State = c.Elapsed >= c.Timeout ? TWatchDogClock::TState::Expired : TWatchDogClock::TState::Running;
  return c;
}

}  // namespace duomat
