
command /c "c:\windows\temp\rw.bat"