// Helpers of the session tests.

#include "tests/engine/transcode_test_support.h"

#include <cstring>
#include <fstream>
#include <sstream>

bool SetUpConversion(TCustomFFmpeg &Task, const TArgs &Args) {
  for (const auto &[Name, Value] : Args) {
    if (Name == "i") {
      if (!Task.OpenInputFile(Value)) return false;
    } else if (Name.empty()) {
      if (!Task.OpenOutputFile(Value)) return false;
    } else {
      Task.SetOption(Name, Value);
    }
  }
  return true;
}

const TProbedStream *TProbedFile::First(const std::string &CodecType) const & {
  for (const TProbedStream &Stream : Streams)
    if (Stream.at("codec_type") == CodecType) return &Stream;
  return nullptr;
}

TProbedFile Probe(const std::string &File) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                  "format=format_name,duration:stream=codec_type,codec_name,width,height,"
                  "r_frame_rate,avg_frame_rate,sample_rate,channels,nb_read_frames,duration",
                  "-of", "flat=s=_", File});
  TProbedFile Probed;
  if (Result.ExitStatus != 0) return Probed;
  std::istringstream Lines(Result.Output);
  std::string Line;
  // Lines such as: streams_stream_0_codec_name="mpeg4", format_duration="2.000000".
  while (std::getline(Lines, Line)) {
    const size_t Equals = Line.find('=');
    if (Equals == std::string::npos) continue;
    const std::string Key = Line.substr(0, Equals);
    std::string Value = Line.substr(Equals + 1);
    if (Value.size() >= 2 && Value.front() == '"') Value = Value.substr(1, Value.size() - 2);
    if (Key == "format_format_name") {
      Probed.FormatName = Value;
    } else if (Key == "format_duration") {
      Probed.Duration = std::atof(Value.c_str());
    } else if (Key.rfind("streams_stream_", 0) == 0) {
      const std::string Rest = Key.substr(15);
      const size_t Under = Rest.find('_');
      const size_t Index = std::stoul(Rest.substr(0, Under));
      if (Probed.Streams.size() <= Index) Probed.Streams.resize(Index + 1);
      Probed.Streams[Index][Rest.substr(Under + 1)] = Value;
    }
  }
  return Probed;
}

std::vector<int16_t> WavSamples(const std::string &File) {
  std::ifstream In(File, std::ios::binary);
  std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  std::vector<int16_t> Samples;
  size_t Position = 12;
  while (Position + 8 <= Bytes.size()) {
    uint32_t Size;
    std::memcpy(&Size, Bytes.data() + Position + 4, 4);
    if (Bytes.compare(Position, 4, "data") == 0) {
      const size_t Count = std::min<size_t>(Size, Bytes.size() - Position - 8) / 2;
      Samples.resize(Count);
      std::memcpy(Samples.data(), Bytes.data() + Position + 8, Count * 2);
      break;
    }
    Position += 8 + Size + (Size & 1);
  }
  return Samples;
}
