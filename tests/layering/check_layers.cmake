# Checks the layering of src/: the core folders (platform, _conn, dialogue,
# rds) include no Qt header, and no folder reaches into a layer above it.
# Includes name a header without its folder, so each header name is looked up
# in the folder that holds it. Run with -DSRC=<the src folder>.

if(NOT SRC)
  message(FATAL_ERROR "SRC is not set")
endif()
get_filename_component(SRC ${SRC} ABSOLUTE)

# Folders and the folders each may include from (itself always allowed).
set(core platform _conn dialogue rds)
set(allowed_platform "")
set(allowed__conn platform)
set(allowed_rds platform)
set(allowed_dialogue platform _conn rds)

# Header name -> folder, for every folder of src/.
file(GLOB_RECURSE headers RELATIVE ${SRC} ${SRC}/*.h)
foreach(h ${headers})
  get_filename_component(dir ${h} DIRECTORY)
  get_filename_component(name ${h} NAME)
  set(home_${name} ${dir})
endforeach()

set(faults "")
foreach(layer ${core})
  file(GLOB files ${SRC}/${layer}/*.h ${SRC}/${layer}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
        list(APPEND faults "${f}: includes the Qt header ${CMAKE_MATCH_1}")
      elseif(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        get_filename_component(name ${CMAKE_MATCH_1} NAME)
        if(DEFINED home_${name})
          set(home ${home_${name}})
          if(NOT home STREQUAL layer)
            list(FIND allowed_${layer} ${home} at)
            if(at EQUAL -1)
              list(APPEND faults "${f}: the ${layer} layer includes ${name} from ${home}")
            endif()
          endif()
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "Layering broken:\n${text}")
endif()
message(STATUS "layers: every core file keeps to its layer")
