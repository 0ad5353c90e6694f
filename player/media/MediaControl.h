// SPDX-License-Identifier: MIT
// The media control interface: the player's whole vocabulary for the media engine.
// The player window calls only these operations; RealAudio1 carries all of them,
// RealAudio2 (control panel) and RealAudio3 (status bar) only the container geometry.
// Everything is called on the GUI thread and never blocks on the engine.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane::media {

// Raised by an operation the engine cannot carry out, and by a geometry setter that
// refuses its value. The window's handlers catch it where they end quietly.
class MediaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// PlayState numbers.
enum PlayStateValue : std::int32_t {
  kStopped = 0,    // stopped, nothing loaded, or the clip has ended
  kOpening = 1,
  kBuffering = 2,  // buffering or seeking
  kPlaying = 3,
  kPaused = 4,
};

// The container geometry of one view, in twips, kept exactly as set (floating point);
// the widget sits at the rounded pixels. A negative width or height is refused:
// the setter throws MediaError and changes nothing.
class ViewGeometry {
 public:
  virtual ~ViewGeometry() = default;
  virtual double Left() const = 0;
  virtual double Top() const = 0;
  virtual double Width() const = 0;
  virtual double Height() const = 0;
  virtual void SetLeft(double twips) = 0;
  virtual void SetTop(double twips) = 0;
  virtual void SetWidth(double twips) = 0;
  virtual void SetHeight(double twips) = 0;
};

// Receives the events of RealAudio1, on the GUI thread.
class MediaEvents {
 public:
  virtual ~MediaEvents() = default;
  // Raised on every change of PlayState; again with the current state when the
  // picture size changes while playing. State 3 comes only once the picture size is known.
  virtual void StateChange(std::int32_t state) = 0;
  // A mouse button pressed in the image window; x, y in pixels from its top-left corner.
  virtual void PointerEvent(std::int32_t button, std::int32_t x, std::int32_t y) = 0;
};

class MediaControl : public ViewGeometry {
 public:
  // Events go to `sink` (nullptr: nowhere). Not owned.
  virtual void SetEventSink(MediaEvents* sink) = 0;

  // "file://" + path opens exactly that path (nothing is URL-decoded) and plays it;
  // "file://" alone unloads. Get returns the text put, or the text of the file that
  // NextEntry/PrevEntry moved to.
  virtual std::string SourceUrl() const = 0;
  virtual void SetSourceUrl(std::string_view url) = 0;

  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual std::int32_t Position() const = 0;   // ms, 0 when unknown
  virtual std::int32_t PlayState() const = 0;  // PlayStateValue
  virtual std::int32_t Length() const = 0;     // ms, 0 when unknown
  virtual std::string ClipLabel() const = 0;     // title metadata, "" when absent
  virtual std::string ClipSublabel() const = 0;  // artist metadata, "" when absent
  virtual std::int32_t ClipWidth() const = 0;    // natural picture size in pixels;
  virtual std::int32_t ClipHeight() const = 0;   // 2 x 2 when there is no picture
  // Right after SetSourceUrl the seek takes effect once the clip has loaded.
  // Negative goes to the start, beyond the end to the end.
  virtual void Seek(std::int32_t ms) = 0;
  virtual void NextEntry() = 0;  // next entry of the playlist, or next clip of the folder
  virtual void PrevEntry() = 0;
  virtual std::int16_t Level() const = 0;         // volume 0..100
  virtual void SetLevel(std::int16_t level) = 0;  // clamped to 0..100
  virtual bool OptionM() const = 0;  // mute
  virtual void SetOptionM(bool on) = 0;
  virtual bool OptionL() const = 0;  // loop
  virtual void SetOptionL(bool on) = 0;
  virtual bool OptionS() const = 0;  // picture shown full screen
  virtual void OptionSOff() = 0;
  virtual void OptionSOn() = 0;
  virtual void PeriodCommand() = 0;  // stop: position 0, state 0
  virtual void SetStartupFlag(bool on) = 0;
};

}  // namespace korvane::media
