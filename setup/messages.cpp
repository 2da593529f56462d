/* The installer's built-in message tables and the pick of their language from LANG.
 *
 * Six tables of the same 71 messages, one per language, indexed alike. The translated
 * texts are ISO 8859-1 bytes written as octal escapes, so the source stays ASCII and the
 * bytes do not depend on the editor's encoding. printf conversions appear in every
 * language in the same order as in English, since callers pass their arguments in that
 * order. Message 57 is empty everywhere.
 */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "setup.h"

// One entry per message, its pieces one per line: keep the tables out of reformatting.
// clang-format off
/* English: the wording the product has always shown, kept byte for byte (typos included). */
const char *const NLS_ENGLISH[SETUP_MESSAGES] = {
    /*  0 */ "~e Exit Help",
    /*  1 */ "~c Contents",
    /*  2 */ "~b Back",
    /*  3 */ "ERROR: couldn't open %s",
    /*  4 */ "Unable to eject diskette.\n"
             "Please exit out of any other application (filemanager, shell) that may be using the "
             "floppy drive. and press enter\n",
    /*  5 */ "Unable to detect the diskette.\n",
    /*  6 */ "Please insert install diskette %i and press enter",
    /*  7 */ "\nEnter the new installation directory [%s]: ",
    /*  8 */ "Do you want to use %s",
    /*  9 */ "Do you want to return to Setup Menu",
    /* 10 */ "This entry must be a full path to the installation directory.\n",
    /* 11 */ "You must specify an installation directory which will be used",
    /* 12 */ "to install the Orvel directory along with its support files and",
    /* 13 */ "directories. This utility will create the install directory",
    /* 14 */ "if it doesn't already exist.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "to create the installation site. This utility will create the",
    /* 18 */ "install directory if it doesn't already exist.",
    /* 19 */ "ERROR: can't locate install diskette 0\n",
    /* 20 */ "\nWarning defining another installation directory will invalidate any defined print "
             "queues [%s]\n ",
    /* 21 */ "can't open file, %sInstall/disks",
    /* 22 */ "\nCreating diskette %i ",
    /* 23 */ "\nPlease insert DOS formatted diskette (%i) and press enter",
    /* 24 */ "can't open file, /floppy/floppy0/disks\n",
    /* 25 */ "Please insert install diskette %i and press enter\n",
    /* 26 */ "can't open file, %s/disks\n",
    /* 27 */ "\nImplementing configuration\n",
    /* 28 */ "stop all",
    /* 29 */ "\nUnable to locate device /dev/%s \n",
    /* 30 */ "Enter the client's name before registering it.\n"
             "Press <Return> to continue",
    /* 31 */ "\nStarting Orvel print daemon.\n",
    /* 32 */ "\nStopping Orvel print daemon.\n",
    /* 33 */ "\nRemoving Existing Printers \n",
    /* 34 */ "Enter the name of the printer to remove: ",
    /* 35 */ "%s is logged in\n"
             "You must become root to run %s\n",
    /* 36 */ "\nPress <Return> to continue. ",
    /* 37 */ "\nEnter the name of the printer to remove: ",
    /* 38 */ "%s has been saved. Do want to update it",
    /* 39 */ "\nOffset files will be used to reduce the size of the first diskette.\n",
    /* 40 */ "_disabled,_enabled",
    /* 41 */ "_No,_Yes",
    /* 42 */ "\nExisting installation directory [%s]\n ",
    /* 43 */ "Existing printer list:\n ",
    /* 44 */ "Saved printer list:\n",
    /* 45 */ "none,GUI,TTY",
    /* 46 */ "_workstation to printer,_workstation to print server,_print server to printer",
    /* 47 */ "_TCP/IP,_local device",
    /* 48 */ "_default features,_custom feature selection",
    /* 49 */ "There isn't enough space in %s to perform the installation activities. The "
             "temporary work area should be at least %e bytes. Restart the installation procedure "
             "using a work area that has enough space. \n"
             "ie: 1. Use /new_work_area_path in place of /tmp\n"
             "    2. Run `setup /new_work_area_path`\n",
    /* 50 */ "_none,    ,_TTY",
    /* 51 */ "\nUnable to locate ppd files ppd/* \n",
    /* 52 */ "Please insert install diskette %i\n",
    /* 53 */ "Please insert DOS formatted diskette (%i)\n",
    /* 54 */ "The following packages must be removed to insure proper installation:\n"
             " %s\n"
             "Do want to continue with the upgrade",
    /* 55 */ "There isn't enough space in %s to perform the installation activities. The install "
             "area should be at least %e bytes. Restart the installation procedure using an "
             "install area that has enough space. \n"
             "ie: 1. Use /new_install_path in place of the default location\n"
             "    2. Run 'setup install /new_install_path'\n",
    /* 56 */ "There isn't enough space to perform the installation activities. As you are using a "
             "working directory, %s on the same partition as the install directory you have "
             "selected, %s this install requires %e bytes free. Please re-run the install "
             "specifing a different location for a working directory or install directory. Please "
             "see the readme if you need help with the syntax.",
    /* 57 */ "",
    /* 58 */ "setup: ERROR",
    /* 59 */ "killed VPrintD %s\n",
    /* 60 */ "failed ts get version",
    /* 61 */ "\nERROR: You are trying to load the wrong version of the Telvane Services for Unix "
             "Systems software to this machine.\n",
    /* 62 */ "\nIf you currently have %s printer software installed that uses VPrintD\n"
             "print daemon, you must delete all your %s print queues prior to installing\n"
             "this package.\n"
             "\nNOTE: VPrintD is located in <install directory>/%s/%s\n",
    /* 63 */ "\nDo You want to continue with the installation? [yn] ",
    /* 64 */ "Reading diskette %i\n",
    /* 65 */ "Could not determine how much space needed for install, missing isize.\n",
    /* 66 */ "\nThe following processes are running.\n"
             "The installer can not continue until these terminate:\n",
    /* 67 */ "Would you like to:\n",
    /* 68 */ "1.  Wait 30 seconds for these processes to terminate\n",
    /* 69 */ "2.  Quit the installation\n",
    /* 70 */ "\nEnter a selection:  ",
};

/* Spanish (es_ES), ISO 8859-1. */
const char *const NLS_SPANISH[SETUP_MESSAGES] = {
    /*  0 */ "~e Salir de la ayuda",
    /*  1 */ "~c Contenido",
    /*  2 */ "~b Atr\341s",
    /*  3 */ "ERROR: no se ha podido abrir %s",
    /*  4 */ "No se puede expulsar el disquete.\n"
             "Cierre cualquier otra aplicaci\363n (gestor de archivos, shell) que pueda estar "
             "usando la disquetera y pulse Intro\n",
    /*  5 */ "No se detecta el disquete.\n",
    /*  6 */ "Inserte el disquete de instalaci\363n %i y pulse Intro",
    /*  7 */ "\nIntroduzca el nuevo directorio de instalaci\363n [%s]: ",
    /*  8 */ "\277Desea usar %s",
    /*  9 */ "\277Desea volver al men\372 de instalaci\363n",
    /* 10 */ "Debe indicar la ruta completa del directorio de instalaci\363n.\n",
    /* 11 */ "Debe especificar un directorio de instalaci\363n que se utilizar\341",
    /* 12 */ "para instalar el directorio Orvel junto con sus archivos y",
    /* 13 */ "directorios de soporte. Esta utilidad crear\341 el directorio de",
    /* 14 */ "instalaci\363n si todav\355a no existe.",
    /* 15 */ "\t\t\"n\372mero de argumentos incorrecto para el programa de interfaz\" \\\n",
    /* 16 */ "\t\t\"consulte al administrador del sistema\" \\\n",
    /* 17 */ "para crear el sitio de instalaci\363n. Esta utilidad crear\341 el",
    /* 18 */ "directorio de instalaci\363n si todav\355a no existe.",
    /* 19 */ "ERROR: no se encuentra el disquete de instalaci\363n 0\n",
    /* 20 */ "\nAviso: si define otro directorio de instalaci\363n, se invalidar\341n todas las "
             "colas de impresi\363n definidas [%s]\n ",
    /* 21 */ "no se puede abrir el archivo %sInstall/disks",
    /* 22 */ "\nCreando el disquete %i ",
    /* 23 */ "\nInserte un disquete con formato DOS (%i) y pulse Intro",
    /* 24 */ "no se puede abrir el archivo /floppy/floppy0/disks\n",
    /* 25 */ "Inserte el disquete de instalaci\363n %i y pulse Intro\n",
    /* 26 */ "no se puede abrir el archivo %s/disks\n",
    /* 27 */ "\nAplicando la configuraci\363n\n",
    /* 28 */ "detener todo",
    /* 29 */ "\nNo se encuentra el dispositivo /dev/%s \n",
    /* 30 */ "Introduzca el nombre del cliente antes de registrarlo.\n"
             "Pulse <Intro> para continuar",
    /* 31 */ "\nIniciando el demonio de impresi\363n de Orvel.\n",
    /* 32 */ "\nDeteniendo el demonio de impresi\363n de Orvel.\n",
    /* 33 */ "\nEliminando las impresoras existentes \n",
    /* 34 */ "Introduzca el nombre de la impresora que desea eliminar: ",
    /* 35 */ "%s ha iniciado una sesi\363n\n"
             "Debe ser root para ejecutar %s\n",
    /* 36 */ "\nPulse <Intro> para continuar. ",
    /* 37 */ "\nIntroduzca el nombre de la impresora que desea eliminar: ",
    /* 38 */ "%s se ha guardado. \277Desea actualizarlo",
    /* 39 */ "\nSe utilizar\341n archivos de desplazamiento para reducir el tama\361o del primer "
             "disquete.\n",
    /* 40 */ "_desactivado,_activado",
    /* 41 */ "_No,_S\355",
    /* 42 */ "\nDirectorio de instalaci\363n existente [%s]\n ",
    /* 43 */ "Lista de impresoras existentes:\n ",
    /* 44 */ "Lista de impresoras guardadas:\n",
    /* 45 */ "ninguna,GUI,TTY",
    /* 46 */ "_estaci\363n de trabajo a impresora,_estaci\363n de trabajo a servidor de "
             "impresi\363n,_servidor de impresi\363n a impresora",
    /* 47 */ "_TCP/IP,_dispositivo local",
    /* 48 */ "_funciones predeterminadas,_selecci\363n personalizada de funciones",
    /* 49 */ "No hay espacio suficiente en %s para realizar las tareas de instalaci\363n. El "
             "\341rea de trabajo temporal debe tener al menos %e bytes. Reinicie el procedimiento "
             "de instalaci\363n con un \341rea de trabajo que tenga espacio suficiente. \n"
             "p. ej.: 1. Use /new_work_area_path en lugar de /tmp\n"
             "    2. Ejecute `setup /new_work_area_path`\n",
    /* 50 */ "_ninguna,    ,_TTY",
    /* 51 */ "\nNo se encuentran los archivos ppd ppd/* \n",
    /* 52 */ "Inserte el disquete de instalaci\363n %i\n",
    /* 53 */ "Inserte un disquete con formato DOS (%i)\n",
    /* 54 */ "Para garantizar una instalaci\363n correcta deben eliminarse los siguientes "
             "paquetes:\n"
             " %s\n"
             "\277Desea continuar con la actualizaci\363n",
    /* 55 */ "No hay espacio suficiente en %s para realizar las tareas de instalaci\363n. El "
             "\341rea de instalaci\363n debe tener al menos %e bytes. Reinicie el procedimiento "
             "de instalaci\363n con un \341rea de instalaci\363n que tenga espacio suficiente. \n"
             "p. ej.: 1. Use /new_install_path en lugar de la ubicaci\363n predeterminada\n"
             "    2. Ejecute 'setup install /new_install_path'\n",
    /* 56 */ "No hay espacio suficiente para realizar las tareas de instalaci\363n. Como est\341 "
             "usando un directorio de trabajo, %s, en la misma partici\363n que el directorio de "
             "instalaci\363n seleccionado, %s, esta instalaci\363n requiere %e bytes libres. "
             "Vuelva a ejecutar la instalaci\363n indicando otra ubicaci\363n para el directorio "
             "de trabajo o para el de instalaci\363n. Consulte el archivo readme si necesita "
             "ayuda con la sintaxis.",
    /* 57 */ "",
    /* 58 */ "setup: ERROR",
    /* 59 */ "se ha finalizado el proceso VPrintD %s\n",
    /* 60 */ "no se ha podido obtener la versi\363n",
    /* 61 */ "\nERROR: est\341 intentando cargar en esta m\341quina una versi\363n incorrecta del "
             "software Telvane Services for Unix Systems.\n",
    /* 62 */ "\nSi tiene instalado software de impresi\363n %s que usa el demonio de "
             "impresi\363n\n"
             "VPrintD, debe eliminar todas sus colas de impresi\363n %s antes de instalar\n"
             "este paquete.\n"
             "\nNOTA: VPrintD se encuentra en <directorio de instalaci\363n>/%s/%s\n",
    /* 63 */ "\n\277Desea continuar con la instalaci\363n? [yn] ",
    /* 64 */ "Leyendo el disquete %i\n",
    /* 65 */ "No se ha podido determinar cu\341nto espacio necesita la instalaci\363n: falta "
             "isize.\n",
    /* 66 */ "\nLos siguientes procesos est\341n en ejecuci\363n.\n"
             "El instalador no puede continuar hasta que terminen:\n",
    /* 67 */ "\277Qu\351 desea hacer?\n",
    /* 68 */ "1.  Esperar 30 segundos a que terminen estos procesos\n",
    /* 69 */ "2.  Salir de la instalaci\363n\n",
    /* 70 */ "\nSeleccione una opci\363n:  ",
};

/* Italian (it_IT), ISO 8859-1. */
const char *const NLS_ITALIAN[SETUP_MESSAGES] = {
    /*  0 */ "~e Esci dalla guida",
    /*  1 */ "~c Sommario",
    /*  2 */ "~b Indietro",
    /*  3 */ "ERRORE: impossibile aprire %s",
    /*  4 */ "Impossibile espellere il dischetto.\n"
             "Chiudere qualsiasi altra applicazione (file manager, shell) che potrebbe usare "
             "l'unit\340 floppy e premere Invio\n",
    /*  5 */ "Impossibile rilevare il dischetto.\n",
    /*  6 */ "Inserire il dischetto di installazione %i e premere Invio",
    /*  7 */ "\nImmettere la nuova directory di installazione [%s]: ",
    /*  8 */ "Si desidera usare %s",
    /*  9 */ "Si desidera tornare al menu di installazione",
    /* 10 */ "Questa voce deve essere il percorso completo della directory di installazione.\n",
    /* 11 */ "Specificare una directory di installazione che verr\340 utilizzata",
    /* 12 */ "per installare la directory Orvel insieme ai relativi file e",
    /* 13 */ "directory di supporto. Questa utility creer\340 la directory di",
    /* 14 */ "installazione se non esiste gi\340.",
    /* 15 */ "\t\t\"numero di argomenti errato per il programma di interfaccia\" \\\n",
    /* 16 */ "\t\t\"rivolgersi all'amministratore di sistema\" \\\n",
    /* 17 */ "per creare il sito di installazione. Questa utility creer\340 la",
    /* 18 */ "directory di installazione se non esiste gi\340.",
    /* 19 */ "ERRORE: impossibile trovare il dischetto di installazione 0\n",
    /* 20 */ "\nAttenzione: definendo un'altra directory di installazione tutte le code di stampa "
             "definite non saranno pi\371 valide [%s]\n ",
    /* 21 */ "impossibile aprire il file %sInstall/disks",
    /* 22 */ "\nCreazione del dischetto %i ",
    /* 23 */ "\nInserire un dischetto formattato DOS (%i) e premere Invio",
    /* 24 */ "impossibile aprire il file /floppy/floppy0/disks\n",
    /* 25 */ "Inserire il dischetto di installazione %i e premere Invio\n",
    /* 26 */ "impossibile aprire il file %s/disks\n",
    /* 27 */ "\nApplicazione della configurazione\n",
    /* 28 */ "arresta tutto",
    /* 29 */ "\nImpossibile trovare il dispositivo /dev/%s \n",
    /* 30 */ "Immettere il nome del client prima di registrarlo.\n"
             "Premere <Invio> per continuare",
    /* 31 */ "\nAvvio del daemon di stampa Orvel.\n",
    /* 32 */ "\nArresto del daemon di stampa Orvel.\n",
    /* 33 */ "\nRimozione delle stampanti esistenti \n",
    /* 34 */ "Immettere il nome della stampante da rimuovere: ",
    /* 35 */ "%s ha effettuato l'accesso\n"
             "Per eseguire %s occorre essere root\n",
    /* 36 */ "\nPremere <Invio> per continuare. ",
    /* 37 */ "\nImmettere il nome della stampante da rimuovere: ",
    /* 38 */ "%s \350 stato salvato. Si desidera aggiornarlo",
    /* 39 */ "\nVerranno usati file di offset per ridurre le dimensioni del primo dischetto.\n",
    /* 40 */ "_disattivato,_attivato",
    /* 41 */ "_No,_S\354",
    /* 42 */ "\nDirectory di installazione esistente [%s]\n ",
    /* 43 */ "Elenco delle stampanti esistenti:\n ",
    /* 44 */ "Elenco delle stampanti salvate:\n",
    /* 45 */ "nessuna,GUI,TTY",
    /* 46 */ "_workstation verso stampante,_workstation verso server di stampa,_server di stampa "
             "verso stampante",
    /* 47 */ "_TCP/IP,_dispositivo locale",
    /* 48 */ "_funzioni predefinite,_selezione personalizzata delle funzioni",
    /* 49 */ "Spazio insufficiente in %s per eseguire le operazioni di installazione. L'area di "
             "lavoro temporanea deve essere di almeno %e byte. Riavviare la procedura di "
             "installazione usando un'area di lavoro con spazio sufficiente. \n"
             "ad es.: 1. Usare /new_work_area_path al posto di /tmp\n"
             "    2. Eseguire `setup /new_work_area_path`\n",
    /* 50 */ "_nessuna,    ,_TTY",
    /* 51 */ "\nImpossibile trovare i file ppd ppd/* \n",
    /* 52 */ "Inserire il dischetto di installazione %i\n",
    /* 53 */ "Inserire un dischetto formattato DOS (%i)\n",
    /* 54 */ "Per garantire una corretta installazione \350 necessario rimuovere i seguenti "
             "pacchetti:\n"
             " %s\n"
             "Si desidera continuare con l'aggiornamento",
    /* 55 */ "Spazio insufficiente in %s per eseguire le operazioni di installazione. L'area di "
             "installazione deve essere di almeno %e byte. Riavviare la procedura di "
             "installazione usando un'area di installazione con spazio sufficiente. \n"
             "ad es.: 1. Usare /new_install_path al posto della posizione predefinita\n"
             "    2. Eseguire 'setup install /new_install_path'\n",
    /* 56 */ "Spazio insufficiente per eseguire le operazioni di installazione. Poich\351 si sta "
             "usando una directory di lavoro, %s, sulla stessa partizione della directory di "
             "installazione selezionata, %s, questa installazione richiede %e byte liberi. "
             "Eseguire di nuovo l'installazione specificando una posizione diversa per la "
             "directory di lavoro o per quella di installazione. Per un aiuto sulla sintassi "
             "consultare il file readme.",
    /* 57 */ "",
    /* 58 */ "setup: ERRORE",
    /* 59 */ "VPrintD %s terminato\n",
    /* 60 */ "impossibile ottenere la versione",
    /* 61 */ "\nERRORE: si sta tentando di caricare su questa macchina una versione errata del "
             "software Telvane Services for Unix Systems.\n",
    /* 62 */ "\nSe \350 installato un software di stampa %s che usa il daemon di stampa\n"
             "VPrintD, occorre eliminare tutte le code di stampa %s prima di installare\n"
             "questo pacchetto.\n"
             "\nNOTA: VPrintD si trova in <directory di installazione>/%s/%s\n",
    /* 63 */ "\nSi desidera continuare con l'installazione? [yn] ",
    /* 64 */ "Lettura del dischetto %i\n",
    /* 65 */ "Impossibile determinare lo spazio necessario per l'installazione: manca isize.\n",
    /* 66 */ "\nI seguenti processi sono in esecuzione.\n"
             "L'installazione non pu\362 proseguire finch\351 non terminano:\n",
    /* 67 */ "Cosa si desidera fare?\n",
    /* 68 */ "1.  Attendere 30 secondi che questi processi terminino\n",
    /* 69 */ "2.  Uscire dall'installazione\n",
    /* 70 */ "\nImmettere una scelta:  ",
};

/* French (fr_FR), ISO 8859-1. */
const char *const NLS_FRENCH[SETUP_MESSAGES] = {
    /*  0 */ "~e Quitter l'aide",
    /*  1 */ "~c Sommaire",
    /*  2 */ "~b Retour",
    /*  3 */ "ERREUR : impossible d'ouvrir %s",
    /*  4 */ "Impossible d'\351jecter la disquette.\n"
             "Fermez toute autre application (gestionnaire de fichiers, shell) susceptible "
             "d'utiliser le lecteur de disquettes et appuyez sur Entr\351e\n",
    /*  5 */ "Impossible de d\351tecter la disquette.\n",
    /*  6 */ "Ins\351rez la disquette d'installation %i et appuyez sur Entr\351e",
    /*  7 */ "\nEntrez le nouveau r\351pertoire d'installation [%s] : ",
    /*  8 */ "Voulez-vous utiliser %s",
    /*  9 */ "Voulez-vous revenir au menu d'installation",
    /* 10 */ "Cette entr\351e doit \352tre le chemin complet du r\351pertoire d'installation.\n",
    /* 11 */ "Vous devez indiquer un r\351pertoire d'installation qui servira",
    /* 12 */ "\340 installer le r\351pertoire Orvel ainsi que ses fichiers et",
    /* 13 */ "r\351pertoires annexes. Cet utilitaire cr\351era le r\351pertoire",
    /* 14 */ "d'installation s'il n'existe pas encore.",
    /* 15 */ "\t\t\"nombre d'arguments incorrect pour le programme d'interface\" \\\n",
    /* 16 */ "\t\t\"contactez votre administrateur syst\350me\" \\\n",
    /* 17 */ "\340 cr\351er le site d'installation. Cet utilitaire cr\351era le",
    /* 18 */ "r\351pertoire d'installation s'il n'existe pas encore.",
    /* 19 */ "ERREUR : disquette d'installation 0 introuvable\n",
    /* 20 */ "\nAttention : d\351finir un autre r\351pertoire d'installation invalidera toutes "
             "les files d'impression d\351finies [%s]\n ",
    /* 21 */ "impossible d'ouvrir le fichier %sInstall/disks",
    /* 22 */ "\nCr\351ation de la disquette %i ",
    /* 23 */ "\nIns\351rez une disquette format\351e DOS (%i) et appuyez sur Entr\351e",
    /* 24 */ "impossible d'ouvrir le fichier /floppy/floppy0/disks\n",
    /* 25 */ "Ins\351rez la disquette d'installation %i et appuyez sur Entr\351e\n",
    /* 26 */ "impossible d'ouvrir le fichier %s/disks\n",
    /* 27 */ "\nApplication de la configuration\n",
    /* 28 */ "tout arr\352ter",
    /* 29 */ "\nP\351riph\351rique /dev/%s introuvable \n",
    /* 30 */ "Entrez le nom du client avant de l'enregistrer.\n"
             "Appuyez sur <Entr\351e> pour continuer",
    /* 31 */ "\nD\351marrage du d\351mon d'impression Orvel.\n",
    /* 32 */ "\nArr\352t du d\351mon d'impression Orvel.\n",
    /* 33 */ "\nSuppression des imprimantes existantes \n",
    /* 34 */ "Entrez le nom de l'imprimante \340 supprimer : ",
    /* 35 */ "%s est connect\351\n"
             "Vous devez \352tre root pour ex\351cuter %s\n",
    /* 36 */ "\nAppuyez sur <Entr\351e> pour continuer. ",
    /* 37 */ "\nEntrez le nom de l'imprimante \340 supprimer : ",
    /* 38 */ "%s a \351t\351 enregistr\351. Voulez-vous le mettre \340 jour",
    /* 39 */ "\nDes fichiers de d\351calage seront utilis\351s pour r\351duire la taille de la "
             "premi\350re disquette.\n",
    /* 40 */ "_d\351sactiv\351,_activ\351",
    /* 41 */ "_Non,_Oui",
    /* 42 */ "\nR\351pertoire d'installation existant [%s]\n ",
    /* 43 */ "Liste des imprimantes existantes :\n ",
    /* 44 */ "Liste des imprimantes enregistr\351es :\n",
    /* 45 */ "aucune,GUI,TTY",
    /* 46 */ "_poste de travail vers imprimante,_poste de travail vers serveur "
             "d'impression,_serveur d'impression vers imprimante",
    /* 47 */ "_TCP/IP,_p\351riph\351rique local",
    /* 48 */ "_fonctions par d\351faut,_s\351lection personnalis\351e des fonctions",
    /* 49 */ "Espace insuffisant dans %s pour effectuer les op\351rations d'installation. La zone "
             "de travail temporaire doit disposer d'au moins %e octets. Relancez la proc\351dure "
             "d'installation en utilisant une zone de travail disposant d'un espace suffisant. \n"
             "par ex. : 1. Utilisez /new_work_area_path \340 la place de /tmp\n"
             "    2. Ex\351cutez `setup /new_work_area_path`\n",
    /* 50 */ "_aucune,    ,_TTY",
    /* 51 */ "\nFichiers ppd ppd/* introuvables \n",
    /* 52 */ "Ins\351rez la disquette d'installation %i\n",
    /* 53 */ "Ins\351rez une disquette format\351e DOS (%i)\n",
    /* 54 */ "Les paquetages suivants doivent \352tre supprim\351s pour garantir une installation "
             "correcte :\n"
             " %s\n"
             "Voulez-vous poursuivre la mise \340 jour",
    /* 55 */ "Espace insuffisant dans %s pour effectuer les op\351rations d'installation. La zone "
             "d'installation doit disposer d'au moins %e octets. Relancez la proc\351dure "
             "d'installation en utilisant une zone d'installation disposant d'un espace "
             "suffisant. \n"
             "par ex. : 1. Utilisez /new_install_path \340 la place de l'emplacement par "
             "d\351faut\n"
             "    2. Ex\351cutez 'setup install /new_install_path'\n",
    /* 56 */ "Espace insuffisant pour effectuer les op\351rations d'installation. Comme vous "
             "utilisez un r\351pertoire de travail, %s, situ\351 sur la m\352me partition que le "
             "r\351pertoire d'installation choisi, %s, cette installation n\351cessite %e octets "
             "libres. Relancez l'installation en indiquant un autre emplacement pour le "
             "r\351pertoire de travail ou pour le r\351pertoire d'installation. Consultez le "
             "fichier readme si vous avez besoin d'aide sur la syntaxe.",
    /* 57 */ "",
    /* 58 */ "setup : ERREUR",
    /* 59 */ "VPrintD %s arr\352t\351\n",
    /* 60 */ "impossible d'obtenir la version",
    /* 61 */ "\nERREUR : vous essayez de charger sur cette machine une version incorrecte du "
             "logiciel Telvane Services for Unix Systems.\n",
    /* 62 */ "\nSi un logiciel d'impression %s utilisant le d\351mon d'impression VPrintD\n"
             "est install\351, vous devez supprimer toutes vos files d'impression %s avant\n"
             "d'installer ce paquetage.\n"
             "\nREMARQUE : VPrintD se trouve dans <r\351pertoire d'installation>/%s/%s\n",
    /* 63 */ "\nVoulez-vous poursuivre l'installation ? [yn] ",
    /* 64 */ "Lecture de la disquette %i\n",
    /* 65 */ "Impossible de d\351terminer l'espace n\351cessaire \340 l'installation : fichier "
             "isize manquant.\n",
    /* 66 */ "\nLes processus suivants sont en cours d'ex\351cution.\n"
             "L'installation ne peut pas continuer tant qu'ils ne sont pas termin\351s :\n",
    /* 67 */ "Que voulez-vous faire ?\n",
    /* 68 */ "1.  Attendre 30 secondes la fin de ces processus\n",
    /* 69 */ "2.  Quitter l'installation\n",
    /* 70 */ "\nEntrez votre choix :  ",
};

/* German (ge_GE), ISO 8859-1. */
const char *const NLS_GERMAN[SETUP_MESSAGES] = {
    /*  0 */ "~e Hilfe beenden",
    /*  1 */ "~c Inhalt",
    /*  2 */ "~b Zur\374ck",
    /*  3 */ "FEHLER: %s konnte nicht ge\366ffnet werden",
    /*  4 */ "Die Diskette kann nicht ausgeworfen werden.\n"
             "Bitte beenden Sie alle anderen Anwendungen (Dateimanager, Shell), die das "
             "Diskettenlaufwerk verwenden k\366nnten, und dr\374cken Sie die Eingabetaste\n",
    /*  5 */ "Die Diskette wird nicht erkannt.\n",
    /*  6 */ "Bitte legen Sie Installationsdiskette %i ein und dr\374cken Sie die Eingabetaste",
    /*  7 */ "\nGeben Sie das neue Installationsverzeichnis ein [%s]: ",
    /*  8 */ "M\366chten Sie %s verwenden",
    /*  9 */ "M\366chten Sie zum Setup-Men\374 zur\374ckkehren",
    /* 10 */ "Hier muss der vollst\344ndige Pfad des Installationsverzeichnisses stehen.\n",
    /* 11 */ "Sie m\374ssen ein Installationsverzeichnis angeben, das verwendet wird,",
    /* 12 */ "um das Verzeichnis Orvel mit seinen zugeh\366rigen Dateien und",
    /* 13 */ "Verzeichnissen zu installieren. Dieses Programm legt das Installationsverzeichnis",
    /* 14 */ "an, falls es noch nicht existiert.",
    /* 15 */ "\t\t\"falsche Anzahl von Argumenten f\374r das Schnittstellenprogramm\" \\\n",
    /* 16 */ "\t\t\"wenden Sie sich an Ihren Systemadministrator\" \\\n",
    /* 17 */ "um den Installationsort einzurichten. Dieses Programm legt das",
    /* 18 */ "Installationsverzeichnis an, falls es noch nicht existiert.",
    /* 19 */ "FEHLER: Installationsdiskette 0 nicht gefunden\n",
    /* 20 */ "\nWarnung: Wenn Sie ein anderes Installationsverzeichnis festlegen, werden alle "
             "definierten Druckwarteschlangen ung\374ltig [%s]\n ",
    /* 21 */ "Datei %sInstall/disks kann nicht ge\366ffnet werden",
    /* 22 */ "\nDiskette %i wird erstellt ",
    /* 23 */ "\nBitte legen Sie eine DOS-formatierte Diskette (%i) ein und dr\374cken Sie die "
             "Eingabetaste",
    /* 24 */ "Datei /floppy/floppy0/disks kann nicht ge\366ffnet werden\n",
    /* 25 */ "Bitte legen Sie Installationsdiskette %i ein und dr\374cken Sie die Eingabetaste\n",
    /* 26 */ "Datei %s/disks kann nicht ge\366ffnet werden\n",
    /* 27 */ "\nKonfiguration wird \374bernommen\n",
    /* 28 */ "alle anhalten",
    /* 29 */ "\nGer\344t /dev/%s nicht gefunden \n",
    /* 30 */ "Geben Sie den Namen des Clients ein, bevor Sie ihn registrieren.\n"
             "Dr\374cken Sie <Eingabe>, um fortzufahren",
    /* 31 */ "\nOrvel-Druck-Daemon wird gestartet.\n",
    /* 32 */ "\nOrvel-Druck-Daemon wird beendet.\n",
    /* 33 */ "\nVorhandene Drucker werden entfernt \n",
    /* 34 */ "Geben Sie den Namen des zu entfernenden Druckers ein: ",
    /* 35 */ "%s ist angemeldet\n"
             "Sie m\374ssen root sein, um %s auszuf\374hren\n",
    /* 36 */ "\nDr\374cken Sie <Eingabe>, um fortzufahren. ",
    /* 37 */ "\nGeben Sie den Namen des zu entfernenden Druckers ein: ",
    /* 38 */ "%s wurde gespeichert. M\366chten Sie es aktualisieren",
    /* 39 */ "\nOffset-Dateien werden verwendet, um die Gr\366\337e der ersten Diskette zu "
             "verringern.\n",
    /* 40 */ "_deaktiviert,_aktiviert",
    /* 41 */ "_Nein,_Ja",
    /* 42 */ "\nVorhandenes Installationsverzeichnis [%s]\n ",
    /* 43 */ "Liste der vorhandenen Drucker:\n ",
    /* 44 */ "Liste der gespeicherten Drucker:\n",
    /* 45 */ "keine,GUI,TTY",
    /* 46 */ "_Arbeitsplatz zu Drucker,_Arbeitsplatz zu Druckserver,_Druckserver zu Drucker",
    /* 47 */ "_TCP/IP,_lokales Ger\344t",
    /* 48 */ "_Standardfunktionen,_benutzerdefinierte Funktionsauswahl",
    /* 49 */ "In %s ist nicht gen\374gend Speicherplatz f\374r die Installation vorhanden. Der "
             "tempor\344re Arbeitsbereich muss mindestens %e Bytes gro\337 sein. Starten Sie die "
             "Installation erneut mit einem Arbeitsbereich, der gen\374gend Platz bietet. \n"
             "z. B.: 1. Verwenden Sie /new_work_area_path anstelle von /tmp\n"
             "    2. F\374hren Sie `setup /new_work_area_path` aus\n",
    /* 50 */ "_keine,    ,_TTY",
    /* 51 */ "\nPPD-Dateien ppd/* nicht gefunden \n",
    /* 52 */ "Bitte legen Sie Installationsdiskette %i ein\n",
    /* 53 */ "Bitte legen Sie eine DOS-formatierte Diskette (%i) ein\n",
    /* 54 */ "F\374r eine ordnungsgem\344\337e Installation m\374ssen die folgenden Pakete "
             "entfernt werden:\n"
             " %s\n"
             "M\366chten Sie mit der Aktualisierung fortfahren",
    /* 55 */ "In %s ist nicht gen\374gend Speicherplatz f\374r die Installation vorhanden. Der "
             "Installationsbereich muss mindestens %e Bytes gro\337 sein. Starten Sie die "
             "Installation erneut mit einem Installationsbereich, der gen\374gend Platz bietet. \n"
             "z. B.: 1. Verwenden Sie /new_install_path anstelle des Standardorts\n"
             "    2. F\374hren Sie 'setup install /new_install_path' aus\n",
    /* 56 */ "Es ist nicht gen\374gend Speicherplatz f\374r die Installation vorhanden. Da Sie "
             "ein Arbeitsverzeichnis, %s, auf derselben Partition wie das gew\344hlte "
             "Installationsverzeichnis, %s, verwenden, ben\366tigt diese Installation %e Bytes "
             "freien Speicherplatz. Bitte starten Sie die Installation erneut und geben Sie einen "
             "anderen Ort f\374r das Arbeitsverzeichnis oder das Installationsverzeichnis an. "
             "Hilfe zur Syntax finden Sie in der Readme-Datei.",
    /* 57 */ "",
    /* 58 */ "setup: FEHLER",
    /* 59 */ "VPrintD %s beendet\n",
    /* 60 */ "Version konnte nicht ermittelt werden",
    /* 61 */ "\nFEHLER: Sie versuchen, eine falsche Version der Software Telvane Services for "
             "Unix Systems auf diesem Rechner zu installieren.\n",
    /* 62 */ "\nWenn Sie %s-Druckersoftware installiert haben, die den Druck-Daemon VPrintD\n"
             "verwendet, m\374ssen Sie vor der Installation dieses Pakets alle\n"
             "%s-Druckwarteschlangen l\366schen.\n"
             "\nHINWEIS: VPrintD befindet sich in <Installationsverzeichnis>/%s/%s\n",
    /* 63 */ "\nM\366chten Sie mit der Installation fortfahren? [yn] ",
    /* 64 */ "Diskette %i wird gelesen\n",
    /* 65 */ "Der f\374r die Installation ben\366tigte Speicherplatz kann nicht ermittelt werden, "
             "isize fehlt.\n",
    /* 66 */ "\nDie folgenden Prozesse laufen.\n"
             "Die Installation kann erst fortgesetzt werden, wenn sie beendet sind:\n",
    /* 67 */ "Was m\366chten Sie tun?\n",
    /* 68 */ "1.  30 Sekunden warten, bis diese Prozesse beendet sind\n",
    /* 69 */ "2.  Installation abbrechen\n",
    /* 70 */ "\nBitte w\344hlen Sie:  ",
};

/* Brazilian Portuguese (pr_BR), ISO 8859-1. */
const char *const NLS_PORTUGUESE[SETUP_MESSAGES] = {
    /*  0 */ "~e Sair da ajuda",
    /*  1 */ "~c Conte\372do",
    /*  2 */ "~b Voltar",
    /*  3 */ "ERRO: n\343o foi poss\355vel abrir %s",
    /*  4 */ "N\343o \351 poss\355vel ejetar o disquete.\n"
             "Feche qualquer outro aplicativo (gerenciador de arquivos, shell) que possa estar "
             "usando a unidade de disquete e pressione Enter\n",
    /*  5 */ "N\343o \351 poss\355vel detectar o disquete.\n",
    /*  6 */ "Insira o disquete de instala\347\343o %i e pressione Enter",
    /*  7 */ "\nDigite o novo diret\363rio de instala\347\343o [%s]: ",
    /*  8 */ "Deseja usar %s",
    /*  9 */ "Deseja voltar ao menu de instala\347\343o",
    /* 10 */ "Esta entrada deve ser o caminho completo do diret\363rio de instala\347\343o.\n",
    /* 11 */ "Voc\352 deve especificar um diret\363rio de instala\347\343o que ser\341 usado",
    /* 12 */ "para instalar o diret\363rio Orvel com seus arquivos e diret\363rios",
    /* 13 */ "de suporte. Este utilit\341rio criar\341 o diret\363rio de instala\347\343o",
    /* 14 */ "caso ele ainda n\343o exista.",
    /* 15 */ "\t\t\"n\372mero incorreto de argumentos para o programa de interface\" \\\n",
    /* 16 */ "\t\t\"consulte o administrador do sistema\" \\\n",
    /* 17 */ "para criar o local de instala\347\343o. Este utilit\341rio criar\341 o",
    /* 18 */ "diret\363rio de instala\347\343o caso ele ainda n\343o exista.",
    /* 19 */ "ERRO: n\343o foi poss\355vel localizar o disquete de instala\347\343o 0\n",
    /* 20 */ "\nAviso: definir outro diret\363rio de instala\347\343o invalidar\341 todas as "
             "filas de impress\343o definidas [%s]\n ",
    /* 21 */ "n\343o foi poss\355vel abrir o arquivo %sInstall/disks",
    /* 22 */ "\nCriando o disquete %i ",
    /* 23 */ "\nInsira um disquete formatado em DOS (%i) e pressione Enter",
    /* 24 */ "n\343o foi poss\355vel abrir o arquivo /floppy/floppy0/disks\n",
    /* 25 */ "Insira o disquete de instala\347\343o %i e pressione Enter\n",
    /* 26 */ "n\343o foi poss\355vel abrir o arquivo %s/disks\n",
    /* 27 */ "\nAplicando a configura\347\343o\n",
    /* 28 */ "parar tudo",
    /* 29 */ "\nN\343o foi poss\355vel localizar o dispositivo /dev/%s \n",
    /* 30 */ "Digite o nome do cliente antes de registr\341-lo.\n"
             "Pressione <Enter> para continuar",
    /* 31 */ "\nIniciando o daemon de impress\343o Orvel.\n",
    /* 32 */ "\nParando o daemon de impress\343o Orvel.\n",
    /* 33 */ "\nRemovendo as impressoras existentes \n",
    /* 34 */ "Digite o nome da impressora a ser removida: ",
    /* 35 */ "%s est\341 conectado\n"
             "Voc\352 precisa ser root para executar %s\n",
    /* 36 */ "\nPressione <Enter> para continuar. ",
    /* 37 */ "\nDigite o nome da impressora a ser removida: ",
    /* 38 */ "%s foi salvo. Deseja atualiz\341-lo",
    /* 39 */ "\nArquivos de deslocamento ser\343o usados para reduzir o tamanho do primeiro "
             "disquete.\n",
    /* 40 */ "_desativado,_ativado",
    /* 41 */ "_N\343o,_Sim",
    /* 42 */ "\nDiret\363rio de instala\347\343o existente [%s]\n ",
    /* 43 */ "Lista de impressoras existentes:\n ",
    /* 44 */ "Lista de impressoras salvas:\n",
    /* 45 */ "nenhuma,GUI,TTY",
    /* 46 */ "_esta\347\343o de trabalho para impressora,_esta\347\343o de trabalho para servidor "
             "de impress\343o,_servidor de impress\343o para impressora",
    /* 47 */ "_TCP/IP,_dispositivo local",
    /* 48 */ "_recursos padr\343o,_sele\347\343o personalizada de recursos",
    /* 49 */ "N\343o h\341 espa\347o suficiente em %s para realizar as atividades de "
             "instala\347\343o. A \341rea de trabalho tempor\341ria deve ter pelo menos %e bytes. "
             "Reinicie o procedimento de instala\347\343o usando uma \341rea de trabalho com "
             "espa\347o suficiente. \n"
             "ex.: 1. Use /new_work_area_path no lugar de /tmp\n"
             "    2. Execute `setup /new_work_area_path`\n",
    /* 50 */ "_nenhuma,    ,_TTY",
    /* 51 */ "\nN\343o foi poss\355vel localizar os arquivos ppd ppd/* \n",
    /* 52 */ "Insira o disquete de instala\347\343o %i\n",
    /* 53 */ "Insira um disquete formatado em DOS (%i)\n",
    /* 54 */ "Os seguintes pacotes devem ser removidos para garantir uma instala\347\343o "
             "correta:\n"
             " %s\n"
             "Deseja continuar com a atualiza\347\343o",
    /* 55 */ "N\343o h\341 espa\347o suficiente em %s para realizar as atividades de "
             "instala\347\343o. A \341rea de instala\347\343o deve ter pelo menos %e bytes. "
             "Reinicie o procedimento de instala\347\343o usando uma \341rea de instala\347\343o "
             "com espa\347o suficiente. \n"
             "ex.: 1. Use /new_install_path no lugar do local padr\343o\n"
             "    2. Execute 'setup install /new_install_path'\n",
    /* 56 */ "N\343o h\341 espa\347o suficiente para realizar as atividades de instala\347\343o. "
             "Como voc\352 est\341 usando um diret\363rio de trabalho, %s, na mesma "
             "parti\347\343o do diret\363rio de instala\347\343o selecionado, %s, esta "
             "instala\347\343o requer %e bytes livres. Execute a instala\347\343o novamente "
             "especificando outro local para o diret\363rio de trabalho ou para o diret\363rio de "
             "instala\347\343o. Consulte o arquivo readme se precisar de ajuda com a sintaxe.",
    /* 57 */ "",
    /* 58 */ "setup: ERRO",
    /* 59 */ "VPrintD %s encerrado\n",
    /* 60 */ "falha ao obter a vers\343o",
    /* 61 */ "\nERRO: voc\352 est\341 tentando carregar nesta m\341quina a vers\343o errada do "
             "software Telvane Services for Unix Systems.\n",
    /* 62 */ "\nSe voc\352 tiver instalado um software de impress\343o %s que usa o daemon de "
             "impress\343o\n"
             "VPrintD, dever\341 excluir todas as suas filas de impress\343o %s antes de "
             "instalar\n"
             "este pacote.\n"
             "\nOBSERVA\307\303O: o VPrintD est\341 localizado em <diret\363rio de "
             "instala\347\343o>/%s/%s\n",
    /* 63 */ "\nDeseja continuar com a instala\347\343o? [yn] ",
    /* 64 */ "Lendo o disquete %i\n",
    /* 65 */ "N\343o foi poss\355vel determinar o espa\347o necess\341rio para a "
             "instala\347\343o: falta o arquivo isize.\n",
    /* 66 */ "\nOs seguintes processos est\343o em execu\347\343o.\n"
             "O instalador n\343o pode continuar at\351 que eles terminem:\n",
    /* 67 */ "O que voc\352 deseja fazer?\n",
    /* 68 */ "1.  Aguardar 30 segundos at\351 que esses processos terminem\n",
    /* 69 */ "2.  Sair da instala\347\343o\n",
    /* 70 */ "\nDigite uma op\347\343o:  ",
};
// clang-format on

namespace {

/* Keyword list of the LANG values that have a table; the position is the table number. */
constexpr const char kLanguageKeys[] = ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR";

/* Indexed by the position FindToken gives in kLanguageKeys; 0 (no match) is English. */
const char *const *const kTablesByKey[] = {NLS_ENGLISH, NLS_ENGLISH, NLS_SPANISH,   NLS_ITALIAN,
                                           NLS_FRENCH,  NLS_GERMAN,  NLS_PORTUGUESE};

/* The table chosen at the first lookup, kept for the rest of the run. */
const char *const *pSetupMessages = nullptr;

/* Chooses the table from LANG. A codeset suffix (".ISO8859-1") is cut off in the
 * environment string itself, so that the commands started later see the cut value too. */
const char *const *PickSetupMessages() {
  char *lang = getenv("LANG");
  if (lang == nullptr) return NLS_ENGLISH;
  char *dot = strchr(lang, '.');
  if (dot != nullptr) *dot = '\0';
  /* A value holding the list's delimiter would match a run of neighbouring keys
   * ("es_ES,it_IT"); only a whole single key picks a language. */
  if (strchr(lang, kLanguageKeys[0]) != nullptr) return NLS_ENGLISH;
  unsigned key = FindToken(lang, kLanguageKeys);
  if (key >= sizeof kTablesByKey / sizeof kTablesByKey[0]) return NLS_ENGLISH;
  return kTablesByKey[key];
}

}  // namespace

/* Message index of the run's language, a static text; "" for an index outside 0..70. */
const char *nlsSetupStrCvt(int index) {
  if (pSetupMessages == nullptr) pSetupMessages = PickSetupMessages();
  if (index < 0 || index >= SETUP_MESSAGES) return "";
  return pSetupMessages[index];
}

/* A problem the run steps over, told to the user and kept in the log. */
void warnUser(const char *fmt, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  fflush(stdout); /* after the progress dots printed so far */
  fprintf(stderr, "WARNING: %s\n", text);
  PutLogMsg("WARNING_MSG: %s\n", text);
}
