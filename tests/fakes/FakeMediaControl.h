// SPDX-License-Identifier: MIT
// A media control for the window's tests: records every call in order and plays back
// scripted values. It also stands in for the control panel, which is a view of the same kind.
#pragma once

#include "player/media/MediaControl.h"

#include <string>
#include <vector>

namespace korvane::fakes {

class FakeMediaControl : public media::MediaControl {
 public:
  // Scripted values.
  std::string source, label, sublabel;
  std::int32_t position = 0, playState = 0, length = 0, clipWidth = 2, clipHeight = 2;
  std::int16_t level = 50;
  bool optionM = false, optionL = false, optionS = false;
  double left = 0, top = 0, width = 7215, height = 5055;

  std::vector<std::string> calls;  // "SetSourceUrl(file://x)", "Play", "Seek(61500)", ...
  std::vector<std::string>* log = nullptr;  // a log shared with the window's fake, when set
  media::MediaEvents* sink = nullptr;

  // ViewGeometry
  double Left() const override { return left; }
  double Top() const override { return top; }
  double Width() const override { return width; }
  double Height() const override { return height; }
  void SetLeft(double v) override { set("SetLeft", v, left); }
  void SetTop(double v) override { set("SetTop", v, top); }
  void SetWidth(double v) override { set("SetWidth", v, width, true); }
  void SetHeight(double v) override { set("SetHeight", v, height, true); }

  void SetEventSink(media::MediaEvents* s) override { sink = s; }
  std::string SourceUrl() const override { return source; }
  void SetSourceUrl(std::string_view url) override {
    call("SetSourceUrl(" + std::string(url) + ")");
    source = std::string(url);
  }
  void Play() override { call("Play"); }
  void Pause() override { call("Pause"); }
  std::int32_t Position() const override { return position; }
  std::int32_t PlayState() const override { return playState; }
  std::int32_t Length() const override { return length; }
  std::string ClipLabel() const override { return label; }
  std::string ClipSublabel() const override { return sublabel; }
  std::int32_t ClipWidth() const override { return clipWidth; }
  std::int32_t ClipHeight() const override { return clipHeight; }
  void Seek(std::int32_t ms) override { call("Seek(" + std::to_string(ms) + ")"); }
  void NextEntry() override { call("NextEntry"); }
  void PrevEntry() override { call("PrevEntry"); }
  std::int16_t Level() const override { return level; }
  void SetLevel(std::int16_t v) override { call("SetLevel(" + std::to_string(v) + ")"); }
  bool OptionM() const override { return optionM; }
  void SetOptionM(bool on) override { call(on ? "SetOptionM(1)" : "SetOptionM(0)"); }
  bool OptionL() const override { return optionL; }
  void SetOptionL(bool on) override { call(on ? "SetOptionL(1)" : "SetOptionL(0)"); }
  bool OptionS() const override { return optionS; }
  void OptionSOff() override { call("OptionSOff"); }
  void OptionSOn() override { call("OptionSOn"); }
  void PeriodCommand() override { call("PeriodCommand"); }
  void SetStartupFlag(bool on) override { call(on ? "SetStartupFlag(1)" : "SetStartupFlag(0)"); }

 private:
  void call(const std::string& what) {
    calls.push_back(what);
    if (log) log->push_back("RealAudio1." + what);
  }
  void set(const char* op, double v, double& field, bool isSize = false) {
    if (isSize && v < 0) throw media::MediaError("negative size");  // the container refuses it
    field = v;
    if (log) log->push_back("RealAudio1." + std::string(op) + "(" + std::to_string(long(v)) + ")");
  }
};

}  // namespace korvane::fakes
