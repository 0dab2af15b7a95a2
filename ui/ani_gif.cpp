#include "ui/ani_gif.h"

#include <fstream>

void CAniGIF::Stop() { Item().playing = false; }

short CAniGIF::LoadPicture(const std::string& path) {
  const bool readable = std::ifstream(path, std::ios::binary).good();
  Item().picture = readable ? path : "";
  Item().playing = false;
  return readable ? 1 : 0;
}

void CAniGIF::SetStretch(short stretch) { Item().stretch = stretch != 0; }

void CAniGIF::Play() { Item().playing = !Item().picture.empty(); }
