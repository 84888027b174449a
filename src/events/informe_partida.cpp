#include "events/informe_partida.h"

#include "views/informe.h"

#include <QDateTime>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>

#include <cmath>

namespace ombrix {

namespace {
constexpr double kMargen = 15.0;             // mm
constexpr int kEventosPrimera = 30, kEventosOtras = 40;   // event lines per page

QString numero(double v) { return QString::number(v, 'f', 2); }

class Hoja {
public:
    Hoja(QPainter& p, QPagedPaintDevice& d) : p_(p)
    {
        k_ = d.logicalDpiX() / 25.4;
        ancho_ = d.width() / k_;
        alto_ = d.height() / k_;
    }
    double ancho() const { return ancho_; }
    double alto() const { return alto_; }
    double k() const { return k_; }
    // A line of text at `y` mm (its top), from `x` mm; returns the next line's top.
    double texto(double x, double y, const QString& t, const QFont& f, double ancho = 0,
                 Qt::Alignment a = Qt::AlignLeft)
    {
        // No ligatures: the PDF's text reads as typed ("fi", not one glyph).
        QFont sinLigaduras(f);
        sinLigaduras.setStyleStrategy(QFont::PreferNoShaping);
        p_.setFont(sinLigaduras);
        const double alto = QFontMetricsF(f, p_.device()).height() / k_;
        const QRectF r(x * k_, y * k_, (ancho > 0 ? ancho : ancho_ - x) * k_, alto * k_);
        p_.drawText(r, int(a | Qt::AlignVCenter), t);
        return y + alto * 1.25;
    }
    void linea(double x1, double y1, double x2, double y2, const QPen& pen)
    {
        p_.setPen(pen);
        p_.drawLine(QPointF(x1 * k_, y1 * k_), QPointF(x2 * k_, y2 * k_));
        p_.setPen(Qt::black);
    }
    QPainter& pintor() { return p_; }

private:
    QPainter& p_;
    double k_ = 1, ancho_ = 0, alto_ = 0;
};

void pie(Hoja& h, int pagina, int paginas, const QString& impreso)
{
    const QFont f = fuenteInforme(QStringLiteral("Arial"), 8);
    h.texto(0, h.alto() - 5, QStringLiteral("Impreso: ") + impreso, f, h.ancho() / 2);
    h.texto(h.ancho() / 2, h.alto() - 5, QStringLiteral("Página %1 de %2").arg(pagina).arg(paginas), f, h.ancho() / 2,
            Qt::AlignRight);
}

double encabezado(Hoja& h, const DatosPartida& d, const EncabezadoPartida& e, const QString& subtitulo)
{
    double y = h.texto(0, 0, QStringLiteral("Informe de partida"), fuenteInforme(QStringLiteral("Arial"), 16, true));
    y = h.texto(0, y, QStringLiteral("Instrumento %1: %2").arg(d.instrumento).arg(e.titulo),
                fuenteInforme(QStringLiteral("Arial"), 12, true));
    y = h.texto(0, y, QStringLiteral("Partida: %1").arg(d.codigo), fuenteInforme(QStringLiteral("Arial"), 12, true));
    if (!subtitulo.isEmpty())
        y = h.texto(0, y + 2, subtitulo, fuenteInforme(QStringLiteral("Arial"), 11, true));
    h.linea(0, y, h.ancho(), y, QPen(Qt::black, 0.3 * h.k()));
    return y + 3;
}

void paginaResumen(Hoja& h, const DatosPartida& d, const EncabezadoPartida& e)
{
    double y = encabezado(h, d, e, QString());
    const QFont f = fuenteInforme(QStringLiteral("Arial"), 10);
    const QFont fn = fuenteInforme(QStringLiteral("Arial"), 10, true);
    const QString u = e.unidad.trimmed().isEmpty() ? QString() : QLatin1Char(' ') + e.unidad.trimmed();
    auto par = [&](const QString& clave, const QString& valor) {
        h.texto(0, y, clave, fn, 60);
        y = h.texto(62, y, valor, f);
    };
    par(QStringLiteral("Inicio:"), d.fechaInicio + QLatin1Char(' ') + d.horaInicio);
    par(QStringLiteral("Fin:"), d.fechaFin + QLatin1Char(' ') + d.horaFin);
    par(QStringLiteral("Duración:"), textoDuracion(d.duracionS));
    par(QStringLiteral("Filas:"), QString::number(d.filas));
    par(QStringLiteral("Filas sin valor:"), QString::number(d.sinValor));
    par(QStringLiteral("Filas (Id):"), QStringLiteral("%1 a %2").arg(d.primerId).arg(d.ultimoId));
    y += 2;
    if (d.media) {
        par(QStringLiteral("Valor medido mínimo:"), numero(*d.minimo) + u);
        par(QStringLiteral("Valor medido máximo:"), numero(*d.maximo) + u);
        par(QStringLiteral("Valor medido medio:"), numero(*d.media) + u);
    } else {
        par(QStringLiteral("Valor medido:"), QStringLiteral("la partida no tiene ningún valor numérico"));
    }
    if (d.spMinimo)
        par(QStringLiteral("Set point:"), QStringLiteral("de %1 a %2").arg(numero(*d.spMinimo), numero(*d.spMaximo)) + u);
    else
        par(QStringLiteral("Set point:"), QStringLiteral("sin valores numéricos"));
    y += 2;
    for (int i = 0; i < 4; ++i)
        par(QStringLiteral("Tiempo con alarma %1:").arg(i + 1),
            d.alarmaLeida[i] ? textoDuracion(d.segundosAlarma[i]) : QStringLiteral("no leída"));
    y += 2;
    par(QStringLiteral("Eventos en el intervalo:"),
        d.hayEventos ? QString::number(d.eventos.size()) : QStringLiteral("el archivo no tiene registro de eventos"));

    y += 4;
    h.texto(0, y, QStringLiteral("Sello de las filas (SHA-256):"), fn);
    y += 6;
    y = h.texto(0, y, d.sello, fuenteInforme(QStringLiteral("Courier New"), 9));
    y = h.texto(0, y,
                QStringLiteral("Para comprobarlo: ombrix-verify --db %1 --instrument %2 --partida \"%3\"")
                    .arg(e.archivo.isEmpty() ? QStringLiteral("ARCHIVO") : e.archivo)
                    .arg(d.instrumento)
                    .arg(d.codigo),
                fuenteInforme(QStringLiteral("Arial"), 8));

    // Signatures at the foot of the page.
    double yf = std::max(y + 15, h.alto() - 45);
    for (const QString& quien : {QStringLiteral("Operador"), QStringLiteral("Supervisor")}) {
        h.linea(0, yf, 80, yf, QPen(Qt::black, 0.2 * h.k()));
        h.linea(100, yf, 170, yf, QPen(Qt::black, 0.2 * h.k()));
        h.texto(0, yf + 1, quien + QStringLiteral(": nombre"), f, 80);
        h.texto(100, yf + 1, QStringLiteral("Firma y fecha"), f, 70);
        yf += 18;
    }
}

void paginaGrafico(Hoja& h, const DatosPartida& d, const EncabezadoPartida& e)
{
    const double y0 = encabezado(h, d, e, QStringLiteral("Valor medido y set point durante la partida"));
    const QRectF area(18, y0 + 8, h.ancho() - 22, h.alto() - y0 - 35);   // mm
    QPainter& p = h.pintor();
    const double k = h.k();
    const QFont f = fuenteInforme(QStringLiteral("Arial"), 8);
    if (d.valor.isEmpty() && d.consigna.isEmpty()) {
        h.texto(0, area.top() + 10, QStringLiteral("Sin valores numéricos que graficar."), fuenteInforme(QStringLiteral("Arial"), 10));
        return;
    }
    double xmin = 0, xmax = std::max<double>(1, d.duracionS);
    double ymin = 1e300, ymax = -1e300;
    for (const auto* serie : {&d.valor, &d.consigna})
        for (const QPointF& q : *serie) {
            ymin = std::min(ymin, q.y());
            ymax = std::max(ymax, q.y());
            xmax = std::max(xmax, q.x());
        }
    if (ymax - ymin < 1e-9) {
        ymin -= 1;
        ymax += 1;
    }
    const double margenY = (ymax - ymin) * 0.05;
    ymin -= margenY;
    ymax += margenY;
    auto aPunto = [&](const QPointF& q) {
        return QPointF((area.left() + (q.x() - xmin) / (xmax - xmin) * area.width()) * k,
                       (area.bottom() - (q.y() - ymin) / (ymax - ymin) * area.height()) * k);
    };
    // Frame, grid and scales.
    p.setPen(QPen(Qt::black, 0.2 * k));
    p.drawRect(QRectF(area.left() * k, area.top() * k, area.width() * k, area.height() * k));
    for (int i = 0; i <= 5; ++i) {
        const double yv = ymin + (ymax - ymin) * i / 5.0;
        const double yy = area.bottom() - area.height() * i / 5.0;
        h.linea(area.left(), yy, area.right(), yy, QPen(QColor(200, 200, 200), 0.1 * k));
        h.texto(0, yy - 2, numero(yv), f, area.left() - 1, Qt::AlignRight);
        const double xv = xmin + (xmax - xmin) * i / 5.0;
        const double xx = area.left() + area.width() * i / 5.0;
        h.linea(xx, area.top(), xx, area.bottom(), QPen(QColor(200, 200, 200), 0.1 * k));
        const QString hora = d.inicio.isValid() ? d.inicio.addSecs(qint64(xv)).toString(QStringLiteral("hh:mm:ss"))
                                                : QString::number(qint64(xv));
        h.texto(xx - 15, area.bottom() + 1, hora, f, 30, Qt::AlignHCenter);
    }
    auto trazar = [&](const QVector<QPointF>& serie, const QColor& color) {
        if (serie.isEmpty())
            return;
        QPainterPath camino(aPunto(serie.first()));
        // At most a few thousand segments: more do not show on a page.
        const qsizetype paso = std::max<qsizetype>(1, serie.size() / 4000);
        for (qsizetype i = paso; i < serie.size(); i += paso)
            camino.lineTo(aPunto(serie[i]));
        camino.lineTo(aPunto(serie.last()));
        p.setPen(QPen(color, 0.35 * k));
        p.setBrush(Qt::NoBrush);
        p.drawPath(camino);
    };
    trazar(d.consigna, QColor(200, 0, 0));
    trazar(d.valor, QColor(0, 0, 200));
    const double yl = area.bottom() + 8;
    h.linea(area.left(), yl + 2, area.left() + 10, yl + 2, QPen(QColor(0, 0, 200), 0.5 * k));
    h.texto(area.left() + 12, yl, QStringLiteral("Valor medido") + (e.unidad.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(e.unidad.trimmed())), f, 60);
    h.linea(area.left() + 75, yl + 2, area.left() + 85, yl + 2, QPen(QColor(200, 0, 0), 0.5 * k));
    h.texto(area.left() + 87, yl, QStringLiteral("Set point"), f, 40);
    p.setPen(Qt::black);
}

void paginaEventos(Hoja& h, const DatosPartida& d, const EncabezadoPartida& e, int desde, int cuantos)
{
    double y = encabezado(h, d, e, QStringLiteral("Eventos del instrumento durante la partida"));
    const QFont f = fuenteInforme(QStringLiteral("Arial"), 8);
    const QFont fn = fuenteInforme(QStringLiteral("Arial"), 8, true);
    if (!d.hayEventos) {
        h.texto(0, y, QStringLiteral("El archivo no tiene registro de eventos."), f);
        return;
    }
    if (d.eventos.isEmpty()) {
        h.texto(0, y, QStringLiteral("Sin eventos del instrumento en el intervalo de la partida."), f);
        return;
    }
    h.texto(0, y, QStringLiteral("Fecha"), fn, 18);
    h.texto(19, y, QStringLiteral("Hora"), fn, 14);
    h.texto(34, y, QStringLiteral("Tipo"), fn, 34);
    h.texto(69, y, QStringLiteral("Descripción"), fn, 80);
    y = h.texto(150, y, QStringLiteral("Anterior → Nuevo"), fn);
    for (int i = desde; i < std::min<int>(desde + cuantos, d.eventos.size()); ++i) {
        const Evento& ev = d.eventos[i];
        h.texto(0, y, ev.fecha, f, 18);
        h.texto(19, y, ev.hora, f, 14);
        h.texto(34, y, ev.tipo, f, 34);
        h.texto(69, y, ev.texto, f, 80);
        y = h.texto(150, y, ev.conValores ? ev.anterior + QStringLiteral(" → ") + ev.nuevo : QString(), f);
    }
}
} // namespace

int paginasInformePartida(const DatosPartida& d)
{
    const int eventos = int(d.eventos.size());
    int paginasEventos = 1;
    if (eventos > kEventosPrimera)
        paginasEventos += (eventos - kEventosPrimera + kEventosOtras - 1) / kEventosOtras;
    return 2 + paginasEventos;
}

bool imprimirInformePartida(const DatosPartida& d, const EncabezadoPartida& e, QPagedPaintDevice& dispositivo, QString* error)
{
    dispositivo.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          QMarginsF(kMargen, kMargen, kMargen, kMargen), QPageLayout::Millimeter));
    QPainter p;
    if (!p.begin(&dispositivo)) {
        if (error)
            *error = QStringLiteral("no se pudo empezar a dibujar el informe");
        return false;
    }
    p.setRenderHint(QPainter::Antialiasing);
    Hoja h(p, dispositivo);
    const int paginas = paginasInformePartida(d);
    const QString impreso = QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    paginaResumen(h, d, e);
    pie(h, 1, paginas, impreso);
    dispositivo.newPage();
    paginaGrafico(h, d, e);
    pie(h, 2, paginas, impreso);
    int desde = 0;
    for (int pag = 3; pag <= paginas; ++pag) {
        dispositivo.newPage();
        const int cuantos = pag == 3 ? kEventosPrimera : kEventosOtras;
        paginaEventos(h, d, e, desde, cuantos);
        pie(h, pag, paginas, impreso);
        desde += cuantos;
    }
    return p.end();
}

bool guardarInformePartida(const DatosPartida& d, const EncabezadoPartida& e, const QString& ruta, QString* error)
{
    QSaveFile archivo(ruta);
    if (!archivo.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("no se pudo crear ") + ruta;
        return false;
    }
    bool bien;
    {
        QPdfWriter pdf(&archivo);
        pdf.setCreator(QStringLiteral("Ombrix"));
        pdf.setTitle(QStringLiteral("Informe de partida %1").arg(d.codigo));
        pdf.setResolution(300);
        bien = imprimirInformePartida(d, e, pdf, error);
    }
    if (bien && !archivo.commit()) {
        if (error)
            *error = QStringLiteral("no se pudo escribir ") + ruta;
        return false;
    }
    return bien;
}

} // namespace ombrix
