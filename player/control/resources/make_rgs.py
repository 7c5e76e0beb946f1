#!/usr/bin/env python3
"""Writes the registration scripts of QivPlayer.dll beside this file.

REGISTRY 101 (the control) exists once per interface language and differs
only in the three verb texts; each copy is stored in its language's code
page. REGISTRY 115 and 120 (the property pages) are language neutral.
"""
import os

LIBID = '18D06334-FDA2-425F-8D12-A23BAA23137C'
CLSID_CONTROL = '138301F1-E2CD-44C4-BD02-DE847F77B26B'
CLSID_LEGACY = '6EF2E0AD-9DE6-4706-AA71-0CE237D3E64E'
CLSID_OPTIONS = '5B76391F-C43A-408E-A5B3-EF6D9DF6644E'
CLSID_PATHS = 'A518E10B-5D53-4E01-834D-DAFCC3766B0B'

# language id, code page, verbs 0..2
GERMAN = ('&Bearbeiten', '&Objekt laden...', '&Animieren')
LANGUAGES = [
    (1033, 1252, ('&Edit', '&Load object...', '&Start animation')),
    (1031, 1252, GERMAN),
    (1034, 1252, GERMAN),
    (1063, 1252, GERMAN),
    (1036, 1252, ('&Edition', '&Charger objet ...', '&Animer')),
    (1040, 1252, ('&Modifica', 'Apri &oggetto...', '&Avvia animazione')),
    (1046, 1252, ('&Editar', '&Abrir objeto...', '&Animação')),
    (1045, 1250, ('&Edycja', '&Ładuj obiekt...', '&Animacja')),
    (1029, 1250, ('Ú&pravy', '&Načtení objektu...', '&Animovat')),
    (1050, 1250, ('&Obraditi', '&Učitati objekt...', '&Animirati')),
    (1049, 1251, ('&Обработать', '&Загрузить объект...', '&Анимация')),
    (1032, 1253, ('Επεξεργασία', 'Φόρτωμα αντικειμένου...', 'Κίνηση (animation)')),
    (1041, 932, ('編集(&E)', 'ｵﾌﾞｼﾞｪｸﾄ読み込み(&L)...', 'ｱﾆﾒｰｼｮﾝ開始(&S)')),
]

CONTROL = r"""HKCR
{
	ForceRemove .qiv = s 'QivObject'
	{
		val 'Content Type' = s 'application/x-qiv-object'
	}
	ForceRemove .kvo = s 'PelObject'
	{
		val 'Content Type' = s 'application/x-qiv-object'
	}
	ForceRemove .vov = s 'QivObject'
	{
		val 'Content Type' = s 'application/x-qiv-object'
	}
	ForceRemove .pel = s 'PelObject'
	{
		val 'Content Type' = s 'application/x-qiv-object'
	}
	Remove PelObject = s '3D Objekt'
	{
		DefaultIcon = s '%MODULE%,0'
		shell
		{
			open
			{
				command = s 'rundll32 "%MODULE%",DisplayObject "%%1"'
			}
		}
	}
	Remove QivObject = s 'qiv Objekt'
	{
		DefaultIcon = s '%MODULE%,0'
		shell
		{
			open
			{
				command = s 'rundll32 "%MODULE%",DisplayObject "%%1"'
			}
		}
	}
	NoRemove MIME
	{
		NoRemove Database
		{
			NoRemove 'Content Type'
			{
				ForceRemove 'application/x-qiv-object'
				{
					val Extension = s '.pel'
				}
			}
		}
	}
	QivPlayer.3DView.1 = s 'Qiv-Player Version 1.x'
	{
		CLSID = s '{@LEGACY@}'
		NotInsertable
	}
	QivPlayer.3DView.2 = s 'Qiv-Player (Tarnwick)'
	{
		CLSID = s '{@CONTROL@}'
		Insertable
	}
	QivPlayer.3DView = s 'Qiv-Player (Tarnwick)'
	{
		CLSID = s '{@CONTROL@}'
		CurVer = s 'QivPlayer.3DView.2'
	}
	NoRemove CLSID
	{
		ForceRemove {@LEGACY@} = s 'Qiv-Player Version 1.x'
		{
			InprocServer32 = s '%MODULE%'
			AutoTreatAs = s '{@CONTROL@}'
			TreatAs = s '{@CONTROL@}'
		}
		ForceRemove {@CONTROL@} = s 'Qiv-Player (Tarnwick)'
		{
			Delete 'Implemented Categories'
			ProgID = s 'QivPlayer.3DView.2'
			VersionIndependentProgID = s 'QivPlayer.3DView'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			Control
			Programmable
			Insertable
			ToolboxBitmap32 = s '%MODULE%, 1'
			MiscStatus = s '0'
			{
				'1' = s '131473'
			}
			TypeLib = s '{@LIBID@}'
			Version = s '1.0'
			verb
			{
				'0' = s '@VERB0@,0,2'
				'1' = s '@VERB1@,0,2'
				'2' = s '@VERB2@,0,2'
			}
		}
	}
}
"""

PAGE = r"""HKCR
{
	QivPlayer.@NAME@.1 = s 'QivPlayer @NAME@'
	{
		CLSID = s '{@CLSID@}'
	}
	QivPlayer.@NAME@ = s 'QivPlayer @NAME@'
	{
		CurVer = s 'QivPlayer.@NAME@.1'
	}
	NoRemove CLSID
	{
		ForceRemove {@CLSID@} = s 'QivPlayer @NAME@'
		{
			Programmable
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
	}
}
"""


def fill(text, **values):
    for k, v in values.items():
        text = text.replace('@%s@' % k, v)
    assert '@' not in text
    return text


def write(name, text, codepage):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp%d' % codepage))


for lang, cp, verbs in LANGUAGES:
    write('QivPlayer-%d.rgs' % lang,
          fill(CONTROL, LEGACY=CLSID_LEGACY, CONTROL=CLSID_CONTROL, LIBID=LIBID,
               VERB0=verbs[0], VERB1=verbs[1], VERB2=verbs[2]), cp)
write('QivPlayerOptions.rgs', fill(PAGE, NAME='Options', CLSID=CLSID_OPTIONS), 1252)
write('QivPlayerPaths.rgs', fill(PAGE, NAME='Paths', CLSID=CLSID_PATHS), 1252)
