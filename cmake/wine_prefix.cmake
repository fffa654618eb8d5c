# Makes the Wine prefix PREFIX for the Windows tests once (wineboot -i); a prefix made
# before is kept. Then chooses its sound, on every run: Wine's PulseAudio driver against
# the project's sound server (scripts/sound_server.sh) when that starts, through the
# client configuration PULSE_CONF that the tests' environment names (PULSE_CLIENTCONFIG);
# else Wine's null driver, without devices (the tests that play or record then skip).
# Run as: cmake -DPREFIX=<folder> -DWINE=<wine64> -DWINEBOOT=<wineboot>
#   -DWINESERVER=<wineserver> -DSOUND_SERVER=<sound_server.sh> -DPULSE_CONF=<file>
#   -P wine_prefix.cmake, with WINEPREFIX=<folder> in the environment.
if(NOT EXISTS ${PREFIX}/system.reg)
  execute_process(COMMAND ${WINEBOOT} -i RESULT_VARIABLE result TIMEOUT 240)
  if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
    message(FATAL_ERROR "wineboot -i did not make the prefix ${PREFIX} (${result})")
  endif()
endif()

execute_process(COMMAND bash ${SOUND_SERVER} start RESULT_VARIABLE result
  OUTPUT_VARIABLE server OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE why TIMEOUT 60)
if(result EQUAL 0 AND server)
  file(WRITE ${PULSE_CONF} "default-server = ${server}\nautospawn = no\n")
  set(driver pulse)
  message(STATUS "Sound: Wine's PulseAudio driver on ${server}")
else()
  file(WRITE ${PULSE_CONF} "autospawn = no\n")
  set(driver "")
  message(STATUS "Sound: Wine's null driver (no sound server: ${why})")
endif()
execute_process(COMMAND ${WINE} reg add "HKCU\\Software\\Wine\\Drivers" /v Audio /d "${driver}" /f
  RESULT_VARIABLE result OUTPUT_QUIET TIMEOUT 60)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The prefix's sound driver could not be set (${result})")
endif()
# Everything written out before the tests start.
execute_process(COMMAND ${WINESERVER} -w)
