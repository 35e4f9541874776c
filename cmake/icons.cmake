# Renders the program icon and the three memory-level icons from one SVG:
#   cmake -DSVG=... -DOUT=dir -P icons.cmake
# app.ico holds 16-256 pixels (256 as PNG, the rest as 32-bit DIBs with alpha); level{0,1,2}.ico
# hold 16-48 pixels with a status dot. Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
find_program(RSVG rsvg-convert REQUIRED)
find_program(ICOTOOL icotool REQUIRED)
file(READ ${SVG} svg)
file(MAKE_DIRECTORY ${OUT}/png)

function(render name text sizes)
  file(WRITE ${OUT}/png/${name}.svg "${text}")
  set(small)
  set(raw)
  foreach(n ${sizes})
    set(png ${OUT}/png/${name}-${n}.png)
    execute_process(COMMAND ${RSVG} -w ${n} -h ${n} -o ${png} ${OUT}/png/${name}.svg
                    RESULT_VARIABLE rc)
    if(rc)
      message(FATAL_ERROR "rsvg-convert failed for ${name} at ${n}")
    endif()
    if(n EQUAL 256)
      list(APPEND raw --raw=${png})
    else()
      list(APPEND small ${png})
    endif()
  endforeach()
  execute_process(COMMAND ${ICOTOOL} -c -o ${OUT}/${name}.ico ${small} ${raw} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "icotool failed for ${name}")
  endif()
endfunction()

render(app "${svg}" "16;20;24;32;40;48;64;128;256")
set(i 0)
foreach(fill "#22C55E" "#F59E0B" "#EF4444")
  string(REPLACE "</svg>"
         "  <circle cx=\"204\" cy=\"204\" r=\"48\" fill=\"${fill}\" stroke=\"#FFFFFF\" stroke-width=\"12\"/>\n</svg>"
         level "${svg}")
  render(level${i} "${level}" "16;20;24;32;40;48")
  math(EXPR i "${i} + 1")
endforeach()
