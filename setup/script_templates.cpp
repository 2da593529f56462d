// Templates of the scripts the installer writes. Each is a printf format; the generators
// in scripts.cpp fill them. All interface scripts read the flag file .vp_cfg at run time
// and branch on the print subsystem it names (the last known word wins, V5 by default).
#include <stddef.h>

#include <array>
#include <initializer_list>

#include "setup.h"

const char *const ScriptShShell = "#!/bin/sh";

const char *const ScriptBanner =
    R"SH(##############################################################
#                                                            #
#  Orvel printing services for Unix systems                  #
#  Written by setup, the installer of the package TLVNvpxx.  #
#  Copyright (c) %d Orvel. Do not edit: setup rewrites it. #
#                                                            #
##############################################################


)SH";

// Launcher in /usr/bin: pAppDir, pAppDir, the file of the package list.
const char *const SimpleScript = R"SH(
VPrintFileSourceDir=`pwd`
export VPrintFileSourceDir

cd %s
exec %s/%s $*
)SH";

// Reads the flag file's words: the last known print subsystem wins, V5 when there is none;
// then opens the case on it. Shared by the four interface scripts.
#define FLAG_CASE                                                                      \
  "\nfor flag in ${CfgFlags}\ndo\n\tcase $flag in\n\tLPRng | V5 | AIX | BSD | CUPS)\n" \
  "\t\tflConfig=$flag\n\t\t;;\n\tesac\ndone\n\ncase ${flConfig:-V5} in\n"

// The job of a System V spooler (V5) or of CUPS, taken apart into the VPrint variables the
// package's programs read; the printer is the interface script's name, or CUPS's PRINTER.
// Shared by the queue interface and the filter.
#define JOB_EXPORT                                                            \
  "\texport PATH VPrintPrinter VPrintRequest_id VPrintUser_name VPrintTitle " \
  "VPrintCopies VPrintOption_list\n\tshift 5\n\tcd ${ToolPath}\n"
#define V5_JOB                                                           \
  "\tPATH=/usr/sbin:/usr/bin\n\tVPrintPrinter=`/usr/bin/basename $0`\n"  \
  "\tVPrintRequest_id=$1\n\tVPrintUser_name=$2\n"                        \
  "\tVPrintTitle=`printf '%%s\\n' \"$3\" | sed 's/###[ 0-9A-z#].*//'`\n" \
  "\tVPrintCopies=$4\n\tVPrintOption_list=$5\n" JOB_EXPORT
#define CUPS_JOB                                                                 \
  "\tPATH=/usr/sbin:/usr/bin\n\tVPrintPrinter=$PRINTER\n\tVPrintRequest_id=$1\n" \
  "\tVPrintUser_name=$2\n\tVPrintTitle=$3\n\tVPrintCopies=$4\n\tVPrintOption_list=$5\n" JOB_EXPORT

// Queue interface: pAppDir; "vpxx"; "vprintvpxx" twice (BSD log); "vpxx" (V5); "vpxx" (CUPS).
const char *const OrvelPrintvpxxScript = R"SH(ToolPath="%s"
CfgFlags=`cat ${ToolPath}/.vp_cfg`

)SH" FLAG_CASE R"SH(AIX)
	cd ${ToolPath}
	${ToolPath}/AixInterface $*
	;;
BSD)
	VPrintQueue=`pwd`
	VPrintPrinter=`basename $VPrintQueue`
	${ToolPath}/vpr%stty -d$VPrintPrinter -f >%s.log 2>%s.log
	;;
LPRng)
	VPrintFileSourceDir=`pwd`
	export VPrintFileSourceDir
	VPrintQueue=`printf '%%s\n' "$1" | sed 's/^-P//'`
	SPOOL_DIR=`printf '%%s\n' "$2" | sed 's/^-d//'`
	FFL=`printf '%%s\n' "$3" | sed -e "s|^-e|${SPOOL_DIR}/|" -e "s|,| ${SPOOL_DIR}/|g"`
	options=`printf '%%s\n' "$4" | sed -e 's/^-Z/-o/' -e 's/,/ -o/g'`
	VPrintUser_name=`printf '%%s\n' "$5" | sed 's/^-n//'`
	VPrintHost_name=`printf '%%s\n' "$6" | sed 's/^-h//'`
	export VPrintQueue SPOOL_DIR VPrintUser_name VPrintHost_name
	cd ${ToolPath}
	${ToolPath}/vprvpxxtty -d${VPrintQueue} -f $options $FFL 1>>/dev/null 2>>/dev/null
	exit 0
	;;
V5)
)SH" V5_JOB R"SH(	${ToolPath}/vpr%stty -d$VPrintPrinter -i $*
	;;
CUPS)
)SH" CUPS_JOB R"SH(	${ToolPath}/vpr%stty -d$VPrintPrinter -i $*
	;;
esac
)SH";

namespace {

// Joins string literals at compile time, so that the assembled templates are constants
// that exist before any code runs and until the very end of the program.
template <size_t... N>
constexpr std::array<char, (N + ...) - sizeof...(N) + 1> Join(const char (&...parts)[N]) {
  std::array<char, (N + ...) - sizeof...(N) + 1> out{};
  size_t at = 0;
  for (const char *part : {static_cast<const char *>(parts)...}) {
    while (*part) out[at++] = *part++;
  }
  out[at] = '\0';
  return out;
}

// The head shared by both driver scripts: pAppDir, and "v" so that .%sp_cfg names .vp_cfg.
constexpr char kDriverHead[] = R"SH(ToolPath="%s"
CfgFlags=`cat ${ToolPath}/.%sp_cfg`

)SH" FLAG_CASE;

// The toolkit's module files, in the library directories an upgrade makes.
constexpr char kDriverModules[] =
    R"SH(	PANGO_RC_FILE="${ToolPath}/lib/gtk/modules/etc/pango/pangorc"
	GTK_IM_MODULE_FILE="${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gtk.immodules"
	GDK_PIXBUF_MODULE_FILE="${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders"
	export PANGO_RC_FILE GTK_IM_MODULE_FILE GDK_PIXBUF_MODULE_FILE
)SH";

// System V spooler: printer from the script's name, job arguments, then the files.
constexpr char kDriverV5Head[] = R"SH(	PATH=/usr/sbin:/usr/bin:/bin
	PRINTER=`/usr/bin/basename $0`
	VPrintRequest_id="-o JobID=$1"
	UserName=`printf '%%s\n' "-u$2" | sed 's/@.*//'`
	Title=`printf '%%s\n' "-t $3" | sed 's/###[ 0-9A-z#].*/-t /'`
	VPrintCopies="-oCopies=$4"
	OptList=$5
	export PATH PRINTER VPrintRequest_id UserName Title VPrintCopies OptList
	shift 5
	case `uname -s` in
	HP-UX)
		OptionList=`printf '%%s\n' "$OptList" | sed -e 's/ -oBSD[A-z0-9].*//g' -e 's/ / -o/g'`
		;;
	SunOS)
		LD_LIBRARY_PATH="${ToolPath}/lib:${ToolPath}/lib/gtk:/lib:/usr/lib"
		export LD_LIBRARY_PATH
		OptionList=`printf '%%s\n' "$OptList" | sed -e "s/flist=['A-z0-9].*//g" -e 's/ / -o/g'`
		;;
	*)
		OptionList=`printf '%%s\n' "$OptList" | sed -e 's/ / -o/g'`
		;;
	esac
	[ -n "$OptionList" ] && OptionList=" -o$OptionList"
	DISPLAY=${DISPLAY:-":0.0"}
	export DISPLAY
)SH";

// CUPS: PRINTER comes from the spooler's environment.
constexpr char kDriverCupsHead[] = R"SH(	PATH=/usr/sbin:/usr/bin:/bin
	RequestID="-o JobID=$1"
	UserName=`printf '%%s\n' "-u $2" | sed 's/"//g'`
	Title=`printf '%%s\n' "-t $3" | sed 's/"//g'`
	Copies="-oCopies=$4"
	OptionList=`printf '%%s\n' "$5" | sed -e 's/"//g' -e 's/ / -o /g'`
	[ -n "$OptionList" ] && OptionList="-o $OptionList"
	export PATH RequestID UserName Title Copies
	shift 5
	DISPLAY=${DISPLAY:-":0.0"}
	export DISPLAY
)SH";

// Driver interface running "driver": pAppDir, "v".
constexpr auto kV4Driver = Join(
    kDriverHead, "AIX)\n", kDriverModules,
    R"SH(	${ToolPath}/driver -f AIX $* 1>>/dev/null 2>>/dev/null
	exit 0;
	;;
LPRng | BSD)
	VPrintFileSourceDir=`pwd`
	export VPrintFileSourceDir
	PRINTER=`printf '%%s\n' "$1" | sed 's/^-P//'`
	SPOOL_DIR=`printf '%%s\n' "$2" | sed 's/^-d//'`
	FFL=`printf '%%s\n' "$3" | sed -e "s|^-e|${SPOOL_DIR}/|" -e "s|,| ${SPOOL_DIR}/|g"`
	OptionList=`printf '%%s\n' "$4" | sed -e 's/^-Z/-o/' -e 's/,/ -o/g'`
	UserName=`printf '%%s\n' "$5" | sed 's/^-n/-u /'`
	VPrintHost_name=`printf '%%s\n' "$6" | sed 's/^-h//'`
	export PRINTER SPOOL_DIR UserName VPrintHost_name
	${ToolPath}/driver -d${PRINTER} $OptionList $FFL 1>>/dev/null 2>>/dev/null
	exit 0
	;;
V5)
)SH",
    kDriverModules, kDriverV5Head,
    R"SH(	${ToolPath}/driver -d${PRINTER} $VPrintCopies $UserName $Title $OptionList $* 1>>/dev/null 2>>/dev/null
	exit 0
	;;
CUPS)
)SH",
    kDriverModules, kDriverCupsHead,
    R"SH(	${ToolPath}/driver -d${PRINTER} $Copies $UserName $Title $OptionList $* 1>>/dev/null 2>>/dev/null
	exit 0
	;;
esac
)SH");

// Driver interface running "v5driver": pAppDir, "v". No toolkit module files.
constexpr auto kV5Driver = Join(
    kDriverHead,
    R"SH(AIX)
	${ToolPath}/v5driver -f AIX $* 1>>/dev/null 2>>/dev/null
	exit 0;
	;;
V5)
)SH",
    kDriverV5Head,
    R"SH(	${ToolPath}/v5driver -d${PRINTER} $VPrintCopies $UserName $Title $OptionList $* 1>>/dev/null 2>>/dev/null
	exit 0
	;;
CUPS)
)SH",
    kDriverCupsHead,
    R"SH(	${ToolPath}/v5driver -d${PRINTER} $Copies $UserName $Title $OptionList $* 1>>/dev/null 2>>/dev/null
	exit 0
	;;
esac
)SH");

}  // namespace

const char *const pv4DriverScript = kV4Driver.data();
const char *const pv5DriverScript = kV5Driver.data();

// Runs the filter until it succeeds; the argument words follow "vsf".
#define VSF_RETRY(args)                                                        \
  "\t_exitVal=1\n\twhile [ $_exitVal -ne 0 ]\n\tdo\n\t\t${ToolPath}/vsf " args \
  "\n\t\t_exitVal=$?\n\tdone\n"

// Filter: pAppDir, the spool directory.
const char *const OrvelVSFScript = R"SH(ToolPath="%s"
SpoolDir="%s"
CfgFlags=`cat ${ToolPath}/.vp_cfg`

)SH" FLAG_CASE R"SH(AIX)
	# AIX
	cd ${ToolPath}
)SH" VSF_RETRY("$*") R"SH(	;;
BSD)
	# BSD
	VPrintQueue=`pwd`
	VPrintPrinter=`basename $VPrintQueue`
	JobFile=${SpoolDir}/${VPrintPrinter}/${VPrintPrinter}.$$
	mkdir -p ${SpoolDir}/${VPrintPrinter}
	cat > $JobFile
	cd ${ToolPath}
)SH" VSF_RETRY("$JobFile") R"SH(	rm -f $JobFile
	;;
LPRng)
	# LPRng
	VPrintQueue=`pwd`
	VPrintPrinter=`basename $VPrintQueue`
	SPOOL_DIR=$VPrintQueue
	Files=""
	flRemoveJob="False"
	while getopts C:A:F:H:J:L:P:Q:a:d:e:f:h:j:k:l:n:s:w:y:t:x: opt
	do
		case $opt in
		f)
			Files="$Files $OPTARG"
			;;
		d)
			SPOOL_DIR=$OPTARG
			;;
		esac
	done
	JobFiles=""
	for f in $Files
	do
		if [ "$f" = "(stdin)" ]
		then
			f=${SPOOL_DIR}/${VPrintPrinter}.$$
			cat > $f
			flRemoveJob="True"
		fi
		JobFiles="$JobFiles $f"
	done
	cd ${ToolPath}
)SH" VSF_RETRY("$JobFiles") R"SH(	if [ "$flRemoveJob" = "True" ]
	then
		rm -f ${SPOOL_DIR}/${VPrintPrinter}.$$
	fi
	;;
V5)
	# V5
)SH" V5_JOB R"SH()SH" VSF_RETRY("$*") R"SH(	;;
CUPS)
	# CUPS
)SH" CUPS_JOB R"SH()SH" VSF_RETRY("$*") R"SH(	;;
esac
)SH";
