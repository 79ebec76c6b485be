// A track's figures for its owner, gathered point by point in one pass:
// distance, moving time, pauses and stops, average and maximum speed,
// ascent and descent, lowest and highest point.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

#include "datafile/track_point.h"

// The great-circle distance in metres between two stored positions, on the
// sphere of 6,371,008.8 m.
double metres_between(const track_point& a, const track_point& b);

// A step of the clock shorter than this does not set a track's maximum speed:
// a single jumping fix is spread over it.
constexpr std::int64_t speed_window_s = 10;

// The speed at each point over the track ahead of it: the distance along the
// track to the first later point at least speed_window_s after it, divided by
// that time. A point's speed is known once that later point has come; points
// may come in any order of time (a clock that jumps back).
class window_speeds {
public:
    // Adds the point with the given index, seconds since the track's first
    // point and distance along the track, then calls found(index, km/h) for
    // every earlier point whose window it closes.
    template <class Found>
    void add(std::uint32_t index, std::int64_t seconds, double distance_m, Found found)
    {
        while (!waiting_.empty() && waiting_.top().seconds <= seconds - speed_window_s) {
            const waiting& w = waiting_.top();
            found(w.index, (distance_m - w.distance_m) / static_cast<double>(seconds - w.seconds) * 3.6);
            waiting_.pop();
        }
        waiting_.push({seconds, distance_m, index});
    }

private:
    struct waiting {
        std::int64_t seconds;
        double distance_m;
        std::uint32_t index;
        bool operator>(const waiting& o) const { return seconds > o.seconds; }
    };
    // The earliest time on top: every point it closes is closed at once.
    std::priority_queue<waiting, std::vector<waiting>, std::greater<>> waiting_;
};

// clock_seconds (track_summary.h) of the times of a log in turn: the day
// of the date is kept from the time before, whose date a point nearly
// always shares, and the day is most of the work.
class day_clock {
public:
    std::int64_t seconds(std::uint32_t packed);

private:
    std::uint32_t date_ = ~0u;  // the last time's date fields, its clock fields zero
    std::int64_t date_seconds_ = 0;
};

// Null (std::nullopt) where a figure has no value: an average without a
// moving step, a maximum where no point has a later one speed_window_s after
// it (a track of a few seconds).
struct track_stats {
    double distance_m = 0;
    std::int64_t seconds = 0;  // last time minus first time
    std::int64_t moving_s = 0;
    std::int64_t paused_s = 0;  // seconds - moving_s, as long as the clock runs forward
    std::int64_t stops = 0;
    std::optional<double> average_kmh;
    std::optional<double> max_kmh;
    std::int64_t ascent_m = 0;
    std::int64_t descent_m = 0;
    int min_ele_m = 0;
    int max_ele_m = 0;
};

// A step is moving when the clock goes forward and the speed is at least
// this; a run of other steps lasting stop_s or more is a stop.
constexpr double moving_kmh = 1;
constexpr std::int64_t stop_s = 60;
// An altitude this far from the last one counted is a rise or a fall; GPS
// altitudes without a barometer jump by several metres.
constexpr int climb_m = 10;

// Feed it a track's points in log order; stats() is the track so far.
class track_stats_builder {
public:
    void add(const track_point& p);
    track_stats stats() const;

private:
    void add_step(double d, std::int64_t dt);
    void end_halt();

    track_stats s_;
    std::uint32_t count_ = 0;
    std::int64_t first_seconds_ = 0;
    track_point last_{};
    double last_cos_ = 1;  // of last_'s latitude
    std::int64_t last_seconds_ = 0;
    double moving_m_ = 0;
    std::int64_t halt_s_ = 0;  // the run of steps that are not moving, so far
    int reference_m_ = 0;      // the altitude of the last rise or fall counted
    window_speeds speeds_;
    day_clock clock_;
};
