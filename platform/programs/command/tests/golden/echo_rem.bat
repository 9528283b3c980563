@echo off
ECHO Hello, world
ECHO.
ECHO.dotted
ECHO
echo   two leading blanks
ECHO 100%% sure, 50% off
ECHO %1 and %2 and [%3]
rem > "C:\OUT DIR\EMPTY.TXT"
REM > C:\OUT\FULL.TXT
REM COMMENTS=before > C:\OUT\NEVER.TXT
:: rem > C:\OUT\LABEL.TXT
ECHO "unterminated > C:\OUT\QUOTE.TXT
ECHO xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxEND
echo on
echo visible
@echo hidden line
echo off
ECHO done
