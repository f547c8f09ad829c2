// TFormAbout, the about box's contents; the window shows it modally.
#pragma once

struct TFormAbout {
  static constexpr char Caption[] = "About Tarnwick";
  static constexpr char ProductName[] = "Tarnwick";
  static constexpr char Description[] =
      "Batch converter for QuickTime and MPEG-4 video and audio files.";
  static constexpr char Version[] = "Version 0.1";
  static constexpr char Copyright[] = "Copyright (C) Brimvale";
};
