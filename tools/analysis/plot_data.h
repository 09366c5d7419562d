#pragma once

#include <string>

#include "capture_analysis.h"
#include "pcm_capture.h"

// Writes what the picture script draws, into an existing folder:
//   waveform.dat   time in ms, then each channel in units of full scale: the first 10 ms
//   spectrum.dat   frequency in Hz, then each channel's bin level in dBFS: bins above DC
//   harmonics.dat  order, frequency in Hz, level in dBFS and a quoted label (empty for a
//                  harmonic no higher than the other bins), for the tone and its harmonics
//                  (first channel)
//   figures.txt    the summary's figures, the fit, the harmonics and the verdict, a few per
//                  line
//   variables.gp   gnuplot assignments: channel count, widths, rate, the ideal quantiser's
//                  level per bin, frames transformed, whether the capture passed
// Returns an empty string on success, else what could not be written.
std::string WritePlotData(const std::string& folder, const PcmCapture& capture,
                          const CaptureAnalysis& analysis);
