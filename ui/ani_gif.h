#pragma once

#include <string>

#include "platform/ui/dialog.h"

// Drives the banner control: a picture file (animated GIF, PNG or JPEG)
// shown in the dialog, which reports a click as its Click event. One call
// per dispatch member of the control.
class CAniGIF : public CWnd {
 public:
  // Member 11: stops the picture's animation.
  void Stop();
  // Member 12: loads the picture file; 1 when the file can be read, else 0
  // (the control then shows nothing).
  short LoadPicture(const std::string& path);
  // Property 1: 0 shows the picture at its own size, centred; anything else
  // stretches it over the control.
  void SetStretch(short stretch);
  // Member 10: plays the picture's animation from its first frame.
  void Play();
};
