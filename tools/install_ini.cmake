# Copies the default settings file to DEST unless a settings file is already there.
if(NOT EXISTS "${DEST}")
  file(COPY_FILE "${SRC}" "${DEST}")
endif()
