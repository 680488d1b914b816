# Warnings are errors for our own code only; they are applied privately so
# that users of the targets keep their own flags.
function(quorvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
