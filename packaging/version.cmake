# Copies ORIGEN to DESTINO with @VERSION@ replaced by VERSION (cmake -P).
configure_file(${ORIGEN} ${DESTINO} @ONLY)
