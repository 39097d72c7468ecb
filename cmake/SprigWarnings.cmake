# Warnings as errors on Sprig's own targets only; third-party headers come in as SYSTEM.
function(sprig_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

# Every target that uses Qt: moc and uic, and strict string conversions.
function(sprig_qt_target target)
    set_target_properties(${target} PROPERTIES AUTOMOC ON AUTOUIC ON)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_FOREACH
        QT_DISABLE_DEPRECATED_BEFORE=0x060400)
endfunction()
