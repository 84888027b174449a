#pragma once
// A serial line behind a device server: an Ethernet box with an RS-485 port
// that passes the line's bytes over a TCP connection. The instruments still
// get the same 8-byte RTU frames; only the way the bytes travel changes.
//
// A line is named "tcp://host:port" (an IPv6 address in brackets:
// "tcp://[::1]:4001", a link-local one with its interface
// "tcp://[fe80::1%eth0]:4001"), either as the port itself or as what a "COMn" key of
// the settings maps to. The connection's descriptor is used with the serial
// port's own functions (serie::escribir, serie::leer, serie::descartarEntrada,
// serie::cerrar): they recognise a socket and keep the same time-out rules.

#include <QString>

#include <cstdint>

namespace ombrix::tcp {

struct Direccion {
    QString servidor;   // host name or address, IPv6 without its brackets
    quint16 puerto = 0;
};

// True for a name that asks for a device server ("tcp://", any case).
bool esDireccion(const QString& nombre);

// Reads "tcp://host:port" or "tcp://[IPv6]:port". False with the reason in
// `error` for anything else (no host, no port, a port outside 1..65535,
// blanks, an IPv6 address without brackets).
bool analizar(const QString& texto, Direccion* d, QString* error = nullptr);

// The name of a device server as it is written: "tcp://host:port", an IPv6
// address in brackets.
QString nombre(const Direccion& d);

// How long a connection may take to be set up, resolving the name aside.
constexpr int kEsperaConexionMs = 3000;

// Resolves the host and connects to the first of its addresses that accepts,
// within esperaMs for each. The socket is non-blocking and close-on-exec,
// sends every frame at once (no Nagle), and has keep-alive on with short
// periods and a bound on unacknowledged data, so that a device server that
// died or was cut off is noticed within seconds even while nothing is asked.
// Returns the descriptor, or −1 with the reason in Spanish in `error`.
int conectar(const Direccion& d, int esperaMs = kEsperaConexionMs, QString* error = nullptr);

// True when fd is a socket (the serial functions then take the TCP way).
bool esSocket(int fd);

// Drops whatever was received and not yet read (a late reply, noise, a
// flood), at most a bounded amount per call so that a flooding server cannot
// hold the caller. False when the connection is closed or failed.
bool descartarEntrada(int fd);

// After a read that got nothing: true when the connection is gone (closed,
// failed) or the peer did not even acknowledge what was sent and the system
// already had to send it again — the device server is unreachable, which is
// not the fault of the instrument that was asked.
bool conexionPerdida(int fd);

} // namespace ombrix::tcp
