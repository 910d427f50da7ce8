# The Ogg Vorbis and Ogg Speex codecs, the stream tags and the playback
# filters, tested against the real peers (oggenc, oggdec, vorbiscomment,
# speexenc, speexdec, ffmpeg) on speech made with espeak-ng and sox.
talvinor_add_test(ogg_codec_tests
  SOURCES
    OggPlaybackTest.cpp
    OggRobustnessTest.cpp
    OggSpeexTest.cpp
    OggVorbisTest.cpp
    PlaybackFilterTest.cpp
    RecordingRepairTest.cpp
    StreamTagsTest.cpp
  LIBS talvinor_codec talvinor_audio talvinor_window_messages)
# Generated speech files are kept here between test processes.
target_compile_definitions(ogg_codec_tests PRIVATE
  TALVINOR_CODEC_TEST_CACHE="${TALVINOR_CODEC_TEST_CACHE}")
