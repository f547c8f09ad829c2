// The stream records own their stages, whose classes the records' header only names.

#include "engine/FFMPEG/session_records.h"

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/decoder.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/FFMPEG/video_path.h"

TInputStream::TInputStream() = default;
TInputStream::~TInputStream() = default;

TOutputStream::TOutputStream() = default;
TOutputStream::~TOutputStream() = default;
