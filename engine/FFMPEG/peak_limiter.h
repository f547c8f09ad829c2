// Keeps a mix of several channels into fewer within full scale: a mix at the ffmpeg program's
// level (not normalised) would otherwise clip on its way to 16-bit samples when the source is
// loud. Quiet passages are left as they are.
#pragma once

// Planar float samples of one stream, in calls that follow each other in time.
class TPeakLimiter {
 public:
  explicit TPeakLimiter(int SampleRate);

  // Scales Samples samples of each of the Channels planes in place so that none is above
  // Ceiling: the gain falls at once to what the loudest channel needs and recovers gradually.
  void Process(float *const *Planes, int Channels, int Samples);

  // 1 dB below full scale: room for what a lossy encoder adds to the peaks.
  static constexpr float Ceiling = 0.891f;

 private:
  float FRecovery;  // the share of the gain's distance from 1 kept per sample
  float FGain = 1;
};
