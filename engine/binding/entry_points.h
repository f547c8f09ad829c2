// The media-library entry points the engine calls, one list per library, in lookup order.
// Each list is expanded into the bound pointers (av_api.h) and into the lookup tables of the
// library's binding module, so a name is written here once. A library counts as bound only
// when every name of its list is found. Names only some versions have are listed under the
// version test that needs them (the library headers are included before this file).
#pragma once

// FFmpeg 7.1: replaces the AVCodec lists of accepted formats, rates and layouts.
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
#define TARNWICK_AVCODEC_NEWER_ENTRY_POINTS(X) X(avcodec_get_supported_config)
#else
#define TARNWICK_AVCODEC_NEWER_ENTRY_POINTS(X)
#endif

// A stream's side data (its display matrix): in its codec parameters since FFmpeg 6.1, on the
// stream itself before (gone in 7.0).
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
#define TARNWICK_AVCODEC_SIDE_DATA_ENTRY_POINTS(X) X(av_packet_side_data_new)
#define TARNWICK_AVFORMAT_SIDE_DATA_ENTRY_POINTS(X)
#else
#define TARNWICK_AVCODEC_SIDE_DATA_ENTRY_POINTS(X)
#define TARNWICK_AVFORMAT_SIDE_DATA_ENTRY_POINTS(X) X(av_stream_new_side_data)
#endif

#define TARNWICK_AVUTIL_ENTRY_POINTS(X) \
  X(av_log_set_callback)                \
  X(av_log_default_callback)            \
  X(av_log_get_level)                   \
  X(av_log_set_level)                   \
  X(av_log)                             \
  X(av_log_format_line)                 \
  X(av_default_item_name)               \
  X(av_strlcpy)                         \
  X(av_strstart)                        \
  X(av_strerror)                        \
  X(av_reduce)                          \
  X(av_gcd)                             \
  X(av_d2q)                             \
  X(av_mul_q)                           \
  X(av_div_q)                           \
  X(av_compare_ts)                      \
  X(av_rescale_q)                       \
  X(av_rescale_q_rnd)                   \
  X(av_rescale)                         \
  X(av_rescale_rnd)                     \
  X(av_gettime)                         \
  X(av_gettime_relative)                \
  X(av_usleep)                          \
  X(av_strdup)                          \
  X(av_malloc)                          \
  X(av_mallocz)                         \
  X(av_realloc)                         \
  X(av_fast_realloc)                    \
  X(av_free)                            \
  X(av_freep)                           \
  X(av_opt_find)                        \
  X(av_opt_set)                         \
  X(av_opt_set_int)                     \
  X(av_opt_get)                         \
  X(av_opt_get_int)                     \
  X(av_opt_set_dict)                    \
  X(av_dict_set)                        \
  X(av_dict_get)                        \
  X(av_dict_copy)                       \
  X(av_dict_count)                      \
  X(av_dict_free)                       \
  X(av_parse_time)                      \
  X(av_parse_video_size)                \
  X(av_parse_video_rate)                \
  X(av_parse_ratio)                     \
  X(av_image_alloc)                     \
  X(av_image_fill_arrays)               \
  X(av_image_get_buffer_size)           \
  X(av_image_copy)                      \
  X(av_image_fill_black)                \
  X(av_pix_fmt_desc_get)                \
  X(av_pix_fmt_desc_next)               \
  X(av_pix_fmt_desc_get_id)             \
  X(av_display_rotation_get)            \
  X(av_get_pix_fmt)                     \
  X(av_get_pix_fmt_name)                \
  X(av_get_pix_fmt_string)              \
  X(av_get_picture_type_char)           \
  X(av_get_media_type_string)           \
  X(av_get_sample_fmt)                  \
  X(av_get_sample_fmt_name)             \
  X(av_get_sample_fmt_string)           \
  X(av_get_bytes_per_sample)            \
  X(av_sample_fmt_is_planar)            \
  X(av_get_packed_sample_fmt)           \
  X(av_samples_alloc)                   \
  X(av_samples_get_buffer_size)         \
  X(av_samples_set_silence)             \
  X(av_channel_layout_default)          \
  X(av_channel_layout_copy)             \
  X(av_channel_layout_uninit)           \
  X(av_channel_layout_compare)          \
  X(av_channel_layout_describe)         \
  X(av_audio_fifo_alloc)                \
  X(av_audio_fifo_write)                \
  X(av_audio_fifo_read)                 \
  X(av_audio_fifo_size)                 \
  X(av_audio_fifo_drain)                \
  X(av_audio_fifo_free)                 \
  X(av_frame_alloc)                     \
  X(av_frame_free)                      \
  X(av_frame_unref)                     \
  X(av_frame_ref)                       \
  X(av_frame_get_buffer)                \
  X(av_frame_make_writable)

#define TARNWICK_SWRESAMPLE_ENTRY_POINTS(X) \
  X(swr_alloc_set_opts2)                    \
  X(swr_init)                               \
  X(swr_convert)                            \
  X(swr_get_out_samples)                    \
  X(swr_get_delay)                          \
  X(swr_set_compensation)                   \
  X(swr_free)

#define TARNWICK_SWSCALE_ENTRY_POINTS(X) \
  X(sws_scale)                           \
  X(sws_getContext)                      \
  X(sws_freeContext)                     \
  X(sws_getCachedContext)                \
  X(sws_get_class)

#define TARNWICK_AVCODEC_ENTRY_POINTS(X) \
  X(avcodec_alloc_context3)              \
  X(avcodec_free_context)                \
  X(avcodec_find_encoder_by_name)        \
  X(avcodec_find_decoder_by_name)        \
  X(avcodec_find_encoder)                \
  X(avcodec_find_decoder)                \
  X(avcodec_open2)                       \
  X(avcodec_flush_buffers)               \
  X(avcodec_string)                      \
  X(avcodec_get_class)                   \
  X(avcodec_get_name)                    \
  X(avcodec_profile_name)                \
  X(avcodec_get_type)                    \
  X(av_codec_iterate)                    \
  X(av_codec_is_encoder)                 \
  X(av_codec_is_decoder)                 \
  X(avcodec_parameters_to_context)       \
  X(avcodec_parameters_from_context)     \
  X(avcodec_parameters_copy)             \
  X(avcodec_send_packet)                 \
  X(avcodec_receive_frame)               \
  X(avcodec_send_frame)                  \
  X(avcodec_receive_packet)              \
  X(avcodec_decode_subtitle2)            \
  X(avcodec_encode_subtitle)             \
  X(avsubtitle_free)                     \
  X(av_packet_alloc)                     \
  X(av_packet_free)                      \
  X(av_packet_ref)                       \
  X(av_packet_unref)                     \
  X(av_packet_rescale_ts)                \
  X(av_packet_get_side_data)             \
  TARNWICK_AVCODEC_NEWER_ENTRY_POINTS(X) \
  TARNWICK_AVCODEC_SIDE_DATA_ENTRY_POINTS(X)

#define TARNWICK_AVFORMAT_ENTRY_POINTS(X) \
  X(avformat_alloc_context)               \
  X(avformat_alloc_output_context2)       \
  X(avformat_free_context)                \
  X(avformat_new_stream)                  \
  X(avformat_open_input)                  \
  X(avformat_close_input)                 \
  X(avformat_find_stream_info)            \
  X(avformat_write_header)                \
  X(avformat_query_codec)                 \
  X(avformat_get_class)                   \
  X(av_seek_frame)                        \
  X(av_guess_format)                      \
  X(av_guess_codec)                       \
  X(av_guess_sample_aspect_ratio)         \
  X(av_guess_frame_rate)                  \
  X(av_filename_number_test)              \
  X(av_codec_get_id)                      \
  X(av_codec_get_tag)                     \
  X(av_codec_get_tag2)                    \
  X(av_find_input_format)                 \
  X(av_probe_input_buffer2)               \
  X(av_muxer_iterate)                     \
  X(av_demuxer_iterate)                   \
  X(av_read_frame)                        \
  X(av_interleaved_write_frame)           \
  X(av_write_trailer)                     \
  X(av_sdp_create)                        \
  X(av_pkt_dump_log2)                     \
  X(av_dump_format)                       \
  X(avio_open)                            \
  X(avio_closep)                          \
  X(avio_size)                            \
  X(avio_seek)                            \
  X(avio_flush)                           \
  TARNWICK_AVFORMAT_SIDE_DATA_ENTRY_POINTS(X)
