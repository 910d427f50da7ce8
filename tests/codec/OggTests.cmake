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
    StreamTagsTest.cpp
  LIBS talvinor_codec talvinor_audio talvinor_window_messages)
# Generated speech files are kept here between test processes.
target_compile_definitions(ogg_codec_tests PRIVATE
  TALVINOR_CODEC_TEST_CACHE="${CMAKE_CURRENT_BINARY_DIR}/ogg-test-data")

# talvinor-cli convert and info with the Ogg types, run as a user would.
if(TARGET talvinor-cli)
  talvinor_add_test(ogg_cli_tests
    SOURCES OggCliTest.cpp
    LIBS talvinor_codec talvinor_audio talvinor_window_messages)
  target_compile_definitions(ogg_cli_tests PRIVATE
    TALVINOR_CLI_PATH="$<TARGET_FILE:talvinor-cli>"
    TALVINOR_CODEC_TEST_CACHE="${CMAKE_CURRENT_BINARY_DIR}/ogg-test-data")
  add_dependencies(ogg_cli_tests talvinor-cli)
endif()

# Ogg files played by the playback master on a virtual output device.
if(TARGET talvinor_devices)
  talvinor_add_test(ogg_device_tests
    SOURCES OggDevicePlaybackTest.cpp
    LIBS talvinor_devices talvinor_codec talvinor_window_messages)
  target_compile_definitions(ogg_device_tests PRIVATE
    TALVINOR_CODEC_TEST_CACHE="${CMAKE_CURRENT_BINARY_DIR}/ogg-test-data")
endif()
