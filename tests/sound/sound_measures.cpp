#include "tests/sound/sound_measures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <numeric>
#include <utility>

namespace sound_measures {
namespace {

void fft(std::vector<std::complex<double>>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / len);
    for (std::size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (std::size_t k = 0; k < len / 2; ++k, w *= step) {
        const auto u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

struct biquad {
  double b0, b1, b2, a1, a2;
  channel run(const channel& x) const {
    channel y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      y[i] = b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = std::exchange(x1, x[i]);
      y2 = std::exchange(y1, y[i]);
    }
    return y;
  }
};

// The K-weighting's shelf and high-pass, for any sample rate.
channel k_weighted(const channel& x) {
  double k = std::tan(std::numbers::pi * 1681.974450955533 / sample_rate);
  const double vh = std::pow(10.0, 3.999843853973347 / 20), vb = std::pow(vh, 0.4996667741545416);
  double q = 0.7071752369554196, a0 = 1 + k / q + k * k;
  const biquad shelf{(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0,
                     (vh - vb * k / q + k * k) / a0, 2 * (k * k - 1) / a0,
                     (1 - k / q + k * k) / a0};
  k = std::tan(std::numbers::pi * 38.13547087602444 / sample_rate);
  q = 0.5003270373238773;
  a0 = 1 + k / q + k * k;
  const biquad high_pass{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
  return high_pass.run(shelf.run(x));
}

double hann(std::size_t i, std::size_t n) {
  return std::pow(std::sin(std::numbers::pi * (i + 0.5) / n), 2);
}

}  // namespace

std::string output_of(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) out.push_back(static_cast<char>(c));
  return out;
}

stereo read_sound(const std::string& name, const std::string& type) {
  const std::string raw = output_of("sox " + type + " '" + name + "' -t f32 -c 2 -");
  std::vector<float> f(raw.size() / sizeof(float));
  std::memcpy(f.data(), raw.data(), f.size() * sizeof(float));
  stereo s;
  for (std::size_t i = 0; i + 2 <= f.size(); i += 2) {
    s.left.push_back(f[i]);
    s.right.push_back(f[i + 1]);
  }
  return s;
}

spectrum::spectrum(const stereo& s) {
  while (n < s.frames()) n *= 2;
  power.assign(n / 2 + 1, 0.0);
  for (const channel* c : {&s.left, &s.right}) {
    std::vector<std::complex<double>> a(n);
    for (std::size_t i = 0; i < c->size(); ++i)
      a[i] = (*c)[i] * hann(i, c->size());
    fft(a);
    for (std::size_t k = 0; k <= n / 2; ++k) power[k] += std::norm(a[k]);
  }
  total = std::accumulate(power.begin(), power.end(), 0.0);
}

double spectrum::share(double lo_hz, double hi_hz) const {
  double sum = 0.0;
  for (auto k = static_cast<std::size_t>(std::max(0.0, std::ceil(lo_hz * n / sample_rate)));
       k < power.size() && k * sample_rate <= hi_hz * n; ++k)
    sum += power[k];
  return sum / total;
}

double loudest_above_dbfs(const stereo& s, double hz) {
  constexpr std::size_t frame = 1024;
  double window_power = 0.0;
  for (std::size_t i = 0; i < frame; ++i) window_power += hann(i, frame) * hann(i, frame);
  const auto first = static_cast<std::size_t>(std::ceil(hz * frame / sample_rate));
  double loudest = 0.0;
  for (const channel* c : {&s.left, &s.right})
    for (std::size_t start = 0; start + frame <= c->size(); start += frame / 2) {
      std::vector<std::complex<double>> a(frame);
      for (std::size_t i = 0; i < frame; ++i) a[i] = (*c)[start + i] * hann(i, frame);
      fft(a);
      double band = 0.0;  // both sides of the spectrum: the band's mean square
      for (std::size_t k = first; k <= frame / 2; ++k) band += 2 * std::norm(a[k]);
      loudest = std::max(loudest, band / (frame * window_power));
    }
  return decibels(loudest / 0.5);
}

double decibels(double power_ratio) { return 10 * std::log10(power_ratio + 1e-300); }
double dbfs(double peak) { return 20 * std::log10(peak + 1e-300); }

double mean_square(const stereo& s) {
  double sum = 0.0;
  for (const double v : s.left) sum += v * v;
  for (const double v : s.right) sum += v * v;
  return sum / std::max<std::size_t>(s.frames(), 1) / 2;
}

double sample_peak(const stereo& s) {
  double peak = 0.0;
  for (const channel* c : {&s.left, &s.right})
    for (const double v : *c) peak = std::max(peak, std::abs(v));
  return peak;
}

// Four times oversampled through a 64-tap Hann-windowed sinc.
double true_peak_dbtp(const stereo& s) {
  constexpr int taps = 32, factor = 4;
  std::vector<std::vector<double>> kernel(factor);
  for (int p = 0; p < factor; ++p)
    for (int t = -taps + 1; t <= taps; ++t) {
      const double x = t - static_cast<double>(p) / factor;
      const double sinc = x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
      kernel[p].push_back(sinc * std::pow(std::cos(std::numbers::pi * x / (2 * taps)), 2));
    }
  double peak = sample_peak(s);
  for (const channel* c : {&s.left, &s.right})
    for (std::size_t i = taps; i + taps < c->size(); ++i)
      for (int p = 1; p < factor; ++p) {
        double v = 0.0;
        for (int t = 0; t < 2 * taps; ++t) v += kernel[p][t] * (*c)[i - taps + 1 + t];
        peak = std::max(peak, std::abs(v));
      }
  return dbfs(peak);
}

double integrated_lufs(const stereo& s) {
  const std::size_t block = sample_rate * 4 / 10, hop = block / 4;
  std::vector<channel> weighted;
  for (const channel* c : {&s.left, &s.right}) weighted.push_back(k_weighted(*c));
  std::vector<double> blocks;  // mean square summed over channels
  for (std::size_t start = 0; start + block <= s.frames(); start += hop) {
    double sum = 0.0;
    for (const channel& w : weighted)
      for (std::size_t i = start; i < start + block; ++i) sum += w[i] * w[i];
    blocks.push_back(sum / block);
  }
  const auto loudness = [](double ms) { return -0.691 + 10 * std::log10(ms + 1e-300); };
  const auto gated_mean = [&](double gate) {
    double sum = 0.0;
    int count = 0;
    for (const double b : blocks)
      if (loudness(b) > gate) sum += b, ++count;
    return count ? sum / count : 0.0;
  };
  return loudness(gated_mean(loudness(gated_mean(-70)) - 10));
}

double modulation_at(const stereo& s, double hz) {
  std::complex<double> component = 0;
  double sum = 0.0;
  for (std::size_t i = 0; i < s.frames(); ++i) {
    const double p = s.left[i] * s.left[i] + s.right[i] * s.right[i];
    component += p * std::polar(1.0, -2 * std::numbers::pi * hz * i / sample_rate);
    sum += p;
  }
  return std::abs(component) / sum;
}

}  // namespace sound_measures
