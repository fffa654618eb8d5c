# Makes the Wine prefix PREFIX for the Windows tests once (wineboot -i); a prefix made
# before is kept. Run as: cmake -DPREFIX=<folder> -DWINE=<wine64> -DWINEBOOT=<wineboot>
#   -DWINESERVER=<wineserver>
#   -P wine_prefix.cmake, with WINEPREFIX=<folder> in the environment.
if(EXISTS ${PREFIX}/system.reg)
  return()
endif()
execute_process(COMMAND ${WINEBOOT} -i RESULT_VARIABLE result TIMEOUT 240)
if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
  message(FATAL_ERROR "wineboot -i did not make the prefix ${PREFIX} (${result})")
endif()
# wineboot returns before the server has written everything out.
execute_process(COMMAND ${WINESERVER} -w)
