@echo off
GOTO latestchange
ECHO not shown 1
:LATESTCH
ECHO first label with the same eight characters
GOTO : Spaced
:latestchange
ECHO not shown 2
: spaced words after
ECHO spaced label
goto END_OF_IT
:end_of_it_all
ECHO end label reached
GOTO NOWHERE
ECHO not shown 3
