// A track's figures, from its steps: each joins two consecutive points.
#include "report/track_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "report/track_summary.h"

double metres_between(const track_point& a, const track_point& b)
{
    constexpr double radians = 3.141592653589793 / 180 / 1e7;
    double sin_lat = std::sin((b.latitude - static_cast<double>(a.latitude)) * radians / 2);
    double sin_lon = std::sin((b.longitude - static_cast<double>(a.longitude)) * radians / 2);
    double h = sin_lat * sin_lat +
               std::cos(a.latitude * radians) * std::cos(b.latitude * radians) * sin_lon * sin_lon;
    return 2 * 6'371'008.8 * std::asin(std::fmin(1, std::sqrt(h)));
}

void track_stats_builder::add(const track_point& p)
{
    if (count_++ == 0) {
        first_time_ = p.timestamp;
        s_.min_ele_m = s_.max_ele_m = reference_m_ = p.altitude;
    } else {
        double d = metres_between(last_, p);
        std::int64_t seconds = seconds_between(first_time_, p.timestamp);
        s_.distance_m += d;
        s_.seconds = seconds;
        add_step(d, seconds - last_seconds_);
        last_seconds_ = seconds;
    }
    speeds_.add(count_ - 1, last_seconds_, s_.distance_m, [this](std::uint32_t, double kmh) {
        s_.max_kmh = std::max(s_.max_kmh.value_or(kmh), kmh);
    });
    s_.min_ele_m = std::min<int>(s_.min_ele_m, p.altitude);
    s_.max_ele_m = std::max<int>(s_.max_ele_m, p.altitude);
    int rise = p.altitude - reference_m_;
    if (rise >= climb_m || rise <= -climb_m) {
        (rise > 0 ? s_.ascent_m : s_.descent_m) += std::abs(rise);
        reference_m_ = p.altitude;
    }
    last_ = p;
}

// A step back in time is not moving and lasts nothing: it neither ends a halt
// nor shortens it. So the pauses are seconds - moving_s wherever the clock
// runs forward, and never negative where it jumps back.
void track_stats_builder::add_step(double d, std::int64_t dt)
{
    if (dt > 0 && d / static_cast<double>(dt) * 3.6 >= moving_kmh) {
        end_halt();
        s_.moving_s += dt;
        moving_m_ += d;
    } else {
        halt_s_ += std::max<std::int64_t>(dt, 0);
        s_.paused_s += std::max<std::int64_t>(dt, 0);
    }
}

void track_stats_builder::end_halt()
{
    s_.stops += halt_s_ >= stop_s;
    halt_s_ = 0;
}

track_stats track_stats_builder::stats() const
{
    track_stats s = s_;
    s.stops += halt_s_ >= stop_s;
    if (s.moving_s > 0)
        s.average_kmh = moving_m_ / static_cast<double>(s.moving_s) * 3.6;
    return s;
}
