# Builds the data folder of a program folder into ${CMAKE_BINARY_DIR}/data/ (what the program
# copies from at its first start) and puts langs.dat, SOUND/ and the help beside the executable
# too, so that the build folder itself is a portable program folder. Installed to
# ${WORDPOP_DATA_INSTALL_DIR}.
set(data_src ${CMAKE_CURRENT_SOURCE_DIR})
set(data_out ${CMAKE_BINARY_DIR}/data)
set(data_outputs)

# langs.dat is kept as UTF-8 in the tree and written in Windows-1251, as the program reads it.
find_program(WORDPOP_ICONV iconv REQUIRED)
add_custom_command(OUTPUT ${data_out}/langs.dat ${CMAKE_BINARY_DIR}/langs.dat
  COMMAND ${CMAKE_COMMAND} -E make_directory ${data_out}
  COMMAND ${WORDPOP_ICONV} -f UTF-8 -t WINDOWS-1251 -o ${data_out}/langs.dat ${data_src}/langs.dat.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${data_out}/langs.dat ${CMAKE_BINARY_DIR}/langs.dat
  DEPENDS ${data_src}/langs.dat.txt
  COMMENT "langs.dat in Windows-1251"
  VERBATIM)
list(APPEND data_outputs ${data_out}/langs.dat ${CMAKE_BINARY_DIR}/langs.dat)

# The answer sounds and the help, copied as they are.
file(GLOB data_sounds CONFIGURE_DEPENDS RELATIVE ${data_src} ${data_src}/SOUND/*.wav)
foreach(f IN LISTS data_sounds ITEMS wordpop.html wordpop.en.html wordpop-server.ini)
  add_custom_command(OUTPUT ${data_out}/${f} ${CMAKE_BINARY_DIR}/${f}
    COMMAND ${CMAKE_COMMAND} -E copy ${data_src}/${f} ${data_out}/${f}
    COMMAND ${CMAKE_COMMAND} -E copy ${data_src}/${f} ${CMAKE_BINARY_DIR}/${f}
    DEPENDS ${data_src}/${f}
    VERBATIM)
  list(APPEND data_outputs ${data_out}/${f} ${CMAKE_BINARY_DIR}/${f})
endforeach()

# Word sounds for one sample dictionary, spoken by espeak-ng when it is installed. Its words
# then carry WAVFILE "\SOUND\<dictionary>\<word>.wav", relative to the program folder.
set(WORDPOP_SPOKEN_DICTIONARY Animals)
find_program(WORDPOP_ESPEAK espeak-ng)
set(spoken_csv)
if(WORDPOP_ESPEAK)
  set(spoken_csv ${CMAKE_CURRENT_BINARY_DIR}/spoken/${WORDPOP_SPOKEN_DICTIONARY}.csv)
  set(spoken_stamp ${CMAKE_CURRENT_BINARY_DIR}/spoken/${WORDPOP_SPOKEN_DICTIONARY}.stamp)
  add_custom_command(OUTPUT ${spoken_csv} ${spoken_stamp}
    COMMAND ${CMAKE_COMMAND}
      -DESPEAK=${WORDPOP_ESPEAK}
      -DCSV=${data_src}/dictionaries/${WORDPOP_SPOKEN_DICTIONARY}.csv
      -DNAME=${WORDPOP_SPOKEN_DICTIONARY}
      -DOUT_CSV=${spoken_csv}
      -DSOUND_DIRS=${data_out}/SOUND/${WORDPOP_SPOKEN_DICTIONARY}|${CMAKE_BINARY_DIR}/SOUND/${WORDPOP_SPOKEN_DICTIONARY}
      -P ${data_src}/WordSounds.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${spoken_stamp}
    DEPENDS ${data_src}/dictionaries/${WORDPOP_SPOKEN_DICTIONARY}.csv ${data_src}/WordSounds.cmake
    COMMENT "Word sounds of ${WORDPOP_SPOKEN_DICTIONARY} with espeak-ng"
    VERBATIM)
  list(APPEND data_outputs ${spoken_stamp})
else()
  message(STATUS "espeak-ng not found: the sample dictionaries get no word sounds")
endif()

# The sample dictionaries, made from their UTF-8 sources by the dictionary tool.
file(GLOB data_dictionaries CONFIGURE_DEPENDS ${data_src}/dictionaries/*.csv)
if(TARGET wordpop-dict)
  foreach(csv IN LISTS data_dictionaries)
    get_filename_component(dict ${csv} NAME_WE)
    set(source ${csv})
    if(spoken_csv AND dict STREQUAL WORDPOP_SPOKEN_DICTIONARY)
      set(source ${spoken_csv})
    endif()
    set(wrd ${data_out}/BASE/ON/${dict}.wrd)
    set(cdx ${data_out}/BASE/ON/${dict}.cdx)
    add_custom_command(OUTPUT ${wrd} ${cdx}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${data_out}/BASE/ON
      COMMAND ${CMAKE_COMMAND} -E rm -f ${wrd} ${cdx}
      COMMAND $<TARGET_FILE:wordpop-dict> import ${wrd} ${source}
      COMMAND $<TARGET_FILE:wordpop-dict> check ${wrd}
      DEPENDS ${source} wordpop-dict
      COMMENT "Sample dictionary ${dict}"
      VERBATIM)
    list(APPEND data_outputs ${wrd} ${cdx})
  endforeach()
else()
  message(STATUS "wordpop-dict is not built: the sample dictionaries are skipped")
endif()

add_custom_target(wordpop-data ALL DEPENDS ${data_outputs})

# The build's own files share ${data_out}; install only what a program folder is made from.
install(FILES ${data_out}/langs.dat ${data_out}/wordpop.html ${data_out}/wordpop.en.html ${data_out}/wordpop-server.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/wordpop)
install(DIRECTORY ${data_out}/SOUND ${data_out}/BASE DESTINATION ${CMAKE_INSTALL_DATADIR}/wordpop OPTIONAL)
