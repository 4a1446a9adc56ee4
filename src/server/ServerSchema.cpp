#include "ServerSchema.h"

#include <array>

#include "ExtensionTables.h"

namespace quil::server {
namespace {

// Schema 1: master items and records keep their file bytes (raw) beside the columns the
// server sorts and filters by, so that a data folder pushed and pulled again comes back
// byte for byte. Every row carries a version for optimistic concurrency; quil_saves keeps
// the answer of every save by its key, so that a save sent twice is done once.
constexpr const char* kSchema1 = R"SQL(
CREATE TABLE quil_schema (
    version integer NOT NULL,
    written_by text NOT NULL,
    changed_at timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE quil_files (
    name text PRIMARY KEY,
    present boolean NOT NULL
);
CREATE TABLE quil_items (
    position integer PRIMARY KEY CHECK (position >= 0),
    kind smallint NOT NULL,
    deleted boolean NOT NULL,
    name text NOT NULL,
    raw bytea NOT NULL CHECK (octet_length(raw) = 128),
    version bigint NOT NULL DEFAULT 1
);
CREATE SEQUENCE quil_entry_seq;
CREATE TABLE quil_records (
    id bigserial PRIMARY KEY,
    entry bigint NOT NULL DEFAULT nextval('quil_entry_seq'),
    date double precision NOT NULL,
    vehicle smallint NOT NULL,
    user_no smallint NOT NULL,
    kind smallint NOT NULL,
    deleted boolean NOT NULL,
    raw bytea NOT NULL CHECK (octet_length(raw) = 256),
    version bigint NOT NULL DEFAULT 1
);
CREATE INDEX quil_records_order ON quil_records (date, vehicle, user_no, entry);
-- The list's own: live records in its order with what it filters by, read from the index
-- alone.
CREATE INDEX quil_records_list ON quil_records (date, vehicle, user_no, entry)
    INCLUDE (id, kind) WHERE NOT deleted;
CREATE TABLE quil_saves (
    key text PRIMARY KEY CHECK (length(key) BETWEEN 16 AND 64),
    target bigint,
    version bigint,
    saved_at timestamptz NOT NULL DEFAULT now()
);

-- Every change is announced on quil_changes: "r <op> <id> <version>" for records,
-- "i <op> <position> <version>" for items. A bulk load sets quil.bulk and announces once.
CREATE FUNCTION quil_announce_record() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'r ' || lower(TG_OP) || ' ' || NEW.id || ' ' || NEW.version);
    RETURN NULL;
END $$;
CREATE TRIGGER quil_records_announce AFTER INSERT OR UPDATE ON quil_records
    FOR EACH ROW EXECUTE FUNCTION quil_announce_record();
CREATE FUNCTION quil_announce_item() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes',
                      'i ' || lower(TG_OP) || ' ' || NEW.position || ' ' || NEW.version);
    RETURN NULL;
END $$;
CREATE TRIGGER quil_items_announce AFTER INSERT OR UPDATE ON quil_items
    FOR EACH ROW EXECUTE FUNCTION quil_announce_item();

DO $$
DECLARE r text;
BEGIN
    FOREACH r IN ARRAY ARRAY['quil_viewer', 'quil_clerk', 'quil_admin'] LOOP
        BEGIN
            EXECUTE format('CREATE ROLE %I NOLOGIN', r);
        EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
        END;
    END LOOP;
END $$;
GRANT quil_viewer TO quil_clerk;
GRANT quil_clerk TO quil_admin;
GRANT quil_viewer, quil_clerk TO quil_admin WITH ADMIN OPTION;

REVOKE ALL ON quil_schema, quil_files, quil_items, quil_records, quil_saves FROM PUBLIC;
GRANT SELECT ON quil_schema, quil_files, quil_items, quil_records TO quil_viewer;
GRANT INSERT, UPDATE ON quil_items, quil_records TO quil_clerk;
GRANT SELECT, INSERT, UPDATE ON quil_saves TO quil_clerk;
GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq TO quil_clerk;
GRANT ALL ON quil_schema, quil_files, quil_items, quil_records, quil_saves TO quil_admin;
GRANT ALL ON SEQUENCE quil_entry_seq, quil_records_id_seq TO quil_admin;
)SQL";

// Schema 2: the extensions' file QuilExt.db (the alcohol-check register, detectors,
// maintenance cycles) travels with the data set, kept whole, so that push and pull do not
// leave it behind.
constexpr const char* kSchema2 = R"SQL(
CREATE TABLE quil_extension_file (
    name text PRIMARY KEY,
    bytes bytea NOT NULL,
    version bigint NOT NULL DEFAULT 1
);
REVOKE ALL ON quil_extension_file FROM PUBLIC;
GRANT SELECT ON quil_extension_file TO quil_viewer;
GRANT INSERT, UPDATE ON quil_extension_file TO quil_clerk;
GRANT ALL ON quil_extension_file TO quil_admin;
)SQL";

// Schema 3: the answers of old saves are removed by the programs that save (a save is
// repeated within seconds, not months).
constexpr const char* kSchema3 = R"SQL(
GRANT DELETE ON quil_saves TO quil_clerk;
CREATE INDEX quil_saves_age ON quil_saves (saved_at);
)SQL";

// Schema 4: the alcohol-check register and the analysis settings as tables of their own
// (the columns of QuilExt.db's), for every program on the data set and, later, for pages
// where drivers enter their own checks. Checks and detectors carry a version. A change is
// announced on quil_changes as "e checks", "e detectors" (with the register's settings) or
// "e cycles" (the analysis settings) by row triggers, so that a statement that changes
// nothing (a refused edit) says nothing, while the server sends the same text once per
// transaction however many rows it changed. A QuilExt.db kept whole by schema 2 is moved
// into the tables in the same transaction.
constexpr const char* kSchema4 = R"SQL(
CREATE TABLE quil_alcohol_detector (
    id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    name text NOT NULL,
    serial text NOT NULL DEFAULT '',
    in_use_since double precision NOT NULL DEFAULT 0,
    last_inspection double precision NOT NULL DEFAULT 0,
    retired boolean NOT NULL DEFAULT false,
    version bigint NOT NULL DEFAULT 1
);
CREATE TABLE quil_alcohol_check (
    id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    checked_at double precision NOT NULL,
    timing integer NOT NULL,
    driver integer NOT NULL,
    vehicle integer NOT NULL,
    checker text NOT NULL,
    method integer NOT NULL,
    method_text text NOT NULL DEFAULT '',
    detector bigint,
    reading double precision,
    intoxicated boolean NOT NULL,
    instructions text NOT NULL DEFAULT '',
    remarks text NOT NULL DEFAULT '',
    deleted boolean NOT NULL DEFAULT false,
    deleted_by text NOT NULL DEFAULT '',
    deleted_at double precision NOT NULL DEFAULT 0,
    version bigint NOT NULL DEFAULT 1
);
CREATE INDEX quil_alcohol_check_time ON quil_alcohol_check (checked_at, id);
CREATE INDEX quil_alcohol_check_detector ON quil_alcohol_check (detector)
    WHERE detector IS NOT NULL;
CREATE TABLE quil_alcohol_setting (
    key text PRIMARY KEY,
    value text NOT NULL
);
CREATE TABLE quil_analysis_cycle (
    item integer PRIMARY KEY,
    months integer NOT NULL DEFAULT 0,
    km integer NOT NULL DEFAULT 0,
    first_months integer NOT NULL DEFAULT 0
);
CREATE TABLE quil_analysis_setting (
    key text PRIMARY KEY,
    value text NOT NULL
);

CREATE FUNCTION quil_announce_extension() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'e ' || TG_ARGV[0]);
    RETURN NULL;
END $$;
CREATE TRIGGER quil_alcohol_check_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_alcohol_check
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('checks');
CREATE TRIGGER quil_alcohol_detector_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_alcohol_detector
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('detectors');
CREATE TRIGGER quil_alcohol_setting_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_alcohol_setting
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('detectors');
CREATE TRIGGER quil_analysis_cycle_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_analysis_cycle
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('cycles');
CREATE TRIGGER quil_analysis_setting_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_analysis_setting
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('cycles');

REVOKE ALL ON quil_alcohol_check, quil_alcohol_detector, quil_alcohol_setting,
    quil_analysis_cycle, quil_analysis_setting FROM PUBLIC;
GRANT SELECT ON quil_alcohol_check, quil_alcohol_detector, quil_alcohol_setting,
    quil_analysis_cycle, quil_analysis_setting TO quil_viewer;
-- Checks are never removed (a deleted one stays with who and when); detectors no check
-- refers to are, and the cycles are replaced whole.
GRANT INSERT, UPDATE ON quil_alcohol_check, quil_alcohol_setting, quil_analysis_setting
    TO quil_clerk;
GRANT INSERT, UPDATE, DELETE ON quil_alcohol_detector, quil_analysis_cycle TO quil_clerk;
GRANT USAGE ON SEQUENCE quil_alcohol_check_id_seq, quil_alcohol_detector_id_seq TO quil_clerk;
GRANT ALL ON quil_alcohol_check, quil_alcohol_detector, quil_alcohol_setting,
    quil_analysis_cycle, quil_analysis_setting TO quil_admin;
GRANT ALL ON SEQUENCE quil_alcohol_check_id_seq, quil_alcohol_detector_id_seq TO quil_admin;
)SQL";

// Schema 5: the drivers' web accounts, for a page where drivers enter their own checks and
// drives. A login belongs to one user item (quil_items position, checked by the program:
// a restore replaces the items, so no foreign key); its password is kept as an Argon2id
// hash, its sessions by a hash of their token, never the token. Failed logins are counted
// per account (lock) and per address (quil_web_login_attempt); every write is logged with
// who, when and from where. The group role quil_web (its service's login joins it) reads
// and writes only what a login needs; the program's 事務 and 閲覧 see none of it.
constexpr const char* kSchema5 = R"SQL(
CREATE TABLE quil_web_account (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    login text NOT NULL UNIQUE CHECK (login = lower(login) AND length(login) BETWEEN 1 AND 32),
    driver integer NOT NULL UNIQUE CHECK (driver >= 0),
    password_hash text NOT NULL CHECK (password_hash LIKE '$argon2id$%'),
    disabled boolean NOT NULL DEFAULT false,
    must_change_password boolean NOT NULL DEFAULT true,
    failed_attempts integer NOT NULL DEFAULT 0 CHECK (failed_attempts >= 0),
    locked_until timestamptz,
    created_at timestamptz NOT NULL,
    changed_at timestamptz NOT NULL
);
CREATE TABLE quil_web_session (
    token_hash bytea PRIMARY KEY CHECK (octet_length(token_hash) = 32),
    account bigint NOT NULL REFERENCES quil_web_account (id) ON DELETE CASCADE,
    created_at timestamptz NOT NULL,
    last_seen timestamptz NOT NULL,
    csrf_secret bytea NOT NULL CHECK (octet_length(csrf_secret) = 32)
);
CREATE INDEX quil_web_session_account ON quil_web_session (account);
CREATE INDEX quil_web_session_seen ON quil_web_session (last_seen);
CREATE TABLE quil_web_login_attempt (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    address text NOT NULL CHECK (length(address) BETWEEN 1 AND 100),
    login text NOT NULL,
    attempted_at timestamptz NOT NULL,
    succeeded boolean NOT NULL
);
CREATE INDEX quil_web_login_attempt_address ON quil_web_login_attempt (address, attempted_at)
    WHERE NOT succeeded;
CREATE INDEX quil_web_login_attempt_age ON quil_web_login_attempt (attempted_at);
CREATE TABLE quil_web_log (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    at timestamptz NOT NULL,
    account bigint,
    actor text NOT NULL,
    address text NOT NULL,
    action text NOT NULL
);
CREATE INDEX quil_web_log_at ON quil_web_log (at);

-- Roles belong to the cluster: another data set may have made this one already, and then
-- an owner without the right to create roles upgrades too.
DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'quil_web') THEN
        BEGIN
            CREATE ROLE quil_web NOLOGIN;
        EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
        END;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_auth_members
                   WHERE roleid = 'quil_web'::regrole AND member = 'quil_admin'::regrole
                     AND admin_option) THEN
        GRANT quil_web TO quil_admin WITH ADMIN OPTION;
    END IF;
END $$;

REVOKE ALL ON quil_web_account, quil_web_session, quil_web_login_attempt, quil_web_log
    FROM PUBLIC;
GRANT ALL ON quil_web_account, quil_web_session, quil_web_login_attempt, quil_web_log
    TO quil_admin;
GRANT SELECT ON quil_schema, quil_items TO quil_web;
GRANT SELECT, UPDATE (failed_attempts, locked_until, password_hash, must_change_password,
    changed_at) ON quil_web_account TO quil_web;
GRANT SELECT, INSERT, DELETE, UPDATE (last_seen) ON quil_web_session TO quil_web;
GRANT SELECT, INSERT, DELETE, UPDATE (succeeded) ON quil_web_login_attempt TO quil_web;
-- The log is written, never read or changed, by the service.
GRANT INSERT ON quil_web_log TO quil_web;
)SQL";

// Schema 6: a driver on the web page sees and adds only his own checks and drives, enforced
// by the server's row-level security, not by the page. The service hands its session's
// token over in the transaction's setting quil.web_token; quil_web_driver() (running as
// the data set's owner, who may read the sessions) gives the driver that token belongs
// to, NULL for none or a disabled account. The office's roles see every row as before;
// the owner is not subject to the policies, nor is COPY from a role that bypasses them.
// A drive's bytes must say what its columns say (user and kind), so the service cannot
// slip another driver's record in under its own columns.
constexpr const char* kSchema6 = R"SQL(
CREATE FUNCTION quil_web_driver() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public, pg_temp AS $$
    SELECT a.driver FROM quil_web_session s JOIN quil_web_account a ON a.id = s.account
     WHERE s.token_hash = sha256(decode(current_setting('quil.web_token', true), 'hex'))
       AND NOT a.disabled
$$;
REVOKE ALL ON FUNCTION quil_web_driver() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION quil_web_driver() TO quil_web;

ALTER TABLE quil_records ENABLE ROW LEVEL SECURITY;
ALTER TABLE quil_alcohol_check ENABLE ROW LEVEL SECURITY;
-- quil_clerk and quil_admin are members of quil_viewer, so this covers the office.
CREATE POLICY quil_office ON quil_records TO quil_viewer USING (true) WITH CHECK (true);
CREATE POLICY quil_office ON quil_alcohol_check TO quil_viewer USING (true) WITH CHECK (true);
-- The sub-selects are evaluated once per statement, not once per row.
CREATE POLICY quil_web_read ON quil_records FOR SELECT TO quil_web
    USING (kind = 0 AND user_no = (SELECT quil_web_driver()));
CREATE POLICY quil_web_add ON quil_records FOR INSERT TO quil_web
    WITH CHECK (kind = 0 AND NOT deleted AND user_no = (SELECT quil_web_driver())
                AND (get_byte(raw, 31) << 8 | get_byte(raw, 30)) = user_no
                AND get_byte(raw, 14) = 0 AND get_byte(raw, 15) = 0
                AND get_byte(raw, 16) = 0);
CREATE POLICY quil_web_read ON quil_alcohol_check FOR SELECT TO quil_web
    USING (driver = (SELECT quil_web_driver()));
CREATE POLICY quil_web_add ON quil_alcohol_check FOR INSERT TO quil_web
    WITH CHECK (NOT deleted AND driver = (SELECT quil_web_driver()));

GRANT SELECT, INSERT ON quil_records, quil_alcohol_check TO quil_web;
GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq, quil_alcohol_check_id_seq
    TO quil_web;
GRANT SELECT ON quil_alcohol_detector, quil_alcohol_setting TO quil_web;
-- A form posted twice is stored once: its save key, as the office's saves keep theirs.
GRANT SELECT, INSERT ON quil_saves TO quil_web;
)SQL";

// Schema 7: every data set has roles of its own, so that a login of one data set reaches
// no other on the same server, and no login of this program holds a power over the server.
// The group roles are named quil_<database>_<kind> (quil_group(kind)): admin (管理者),
// clerk (事務), viewer (閲覧) and web (the drivers' service); only their members may connect
// to the database. Accounts are made and changed only through the quil_account_* functions,
// which run as quil_<database>_accounts: a role that cannot log in and that nobody is a
// member of, the only one here allowed to create roles. They check every name, touch only
// accounts that belong to this data set alone and give only its three office roles. The
// roles shared by every data set before (quil_admin, quil_clerk, quil_viewer, quil_web)
// lose their rights here; their members are given this data set's roles instead, and its
// administrators lose the right to create roles. Every record row's columns must say what
// its bytes say (kind, deleted, date, vehicle, user), for every role; rows stored before
// are not checked again. The drivers' service hands over the SHA-256 of its session's
// token in quil.web_session (hex), which is what the sessions table keeps: the token never
// reaches the server, nor its log.
constexpr const char* kSchema7 = R"SQL(
CREATE FUNCTION quil_group(kind text) RETURNS text
    LANGUAGE sql STABLE SET search_path = pg_catalog, pg_temp AS $$
    SELECT 'quil_' || CASE WHEN current_database() ~ '^[a-z][a-z0-9_]{0,39}$'
                           THEN current_database()
                           ELSE 'x' || left(md5(current_database()), 16) || '-' END
           || '_' || kind
$$;

DO $$
DECLARE
    k text;
    g text;
    m record;
    upgrading boolean := EXISTS (SELECT 1 FROM quil_schema);
BEGIN
    FOREACH k IN ARRAY ARRAY['viewer', 'clerk', 'admin', 'web', 'accounts'] LOOP
        g := quil_group(k);
        IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = g) THEN
            RAISE EXCEPTION 'role % exists already', g USING ERRCODE = 'duplicate_object';
        END IF;
        EXECUTE format('CREATE ROLE %I NOLOGIN', g);
    END LOOP;
    EXECUTE format('ALTER ROLE %I CREATEROLE', quil_group('accounts'));
    EXECUTE format('GRANT %I TO %I', quil_group('viewer'), quil_group('clerk'));
    EXECUTE format('GRANT %I TO %I', quil_group('clerk'), quil_group('admin'));

    EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', current_database());
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO %I, %I', current_database(),
                   quil_group('viewer'), quil_group('web'));
    -- A push by an administrator stages its records in a temporary table.
    EXECUTE format('GRANT TEMPORARY ON DATABASE %I TO %I', current_database(),
                   quil_group('admin'));

    -- The same rights as the shared roles had, given to this data set's roles.
    EXECUTE format('GRANT SELECT ON quil_schema, quil_files, quil_items, quil_records, '
                   'quil_extension_file, quil_alcohol_check, quil_alcohol_detector, '
                   'quil_alcohol_setting, quil_analysis_cycle, quil_analysis_setting TO %I',
                   quil_group('viewer'));
    EXECUTE format('GRANT INSERT, UPDATE ON quil_items, quil_records, quil_extension_file, '
                   'quil_alcohol_check, quil_alcohol_setting, quil_analysis_setting TO %I',
                   quil_group('clerk'));
    EXECUTE format('GRANT INSERT, UPDATE, DELETE ON quil_alcohol_detector, '
                   'quil_analysis_cycle TO %I', quil_group('clerk'));
    EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE ON quil_saves TO %I',
                   quil_group('clerk'));
    EXECUTE format('GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq, '
                   'quil_alcohol_check_id_seq, quil_alcohol_detector_id_seq TO %I',
                   quil_group('clerk'));
    -- Not TRIGGER nor REFERENCES: nothing an administrator adds runs as someone else.
    EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE, TRUNCATE ON ALL TABLES IN SCHEMA '
                   'public TO %I', quil_group('admin'));
    EXECUTE format('GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO %I', quil_group('admin'));
    EXECUTE format('GRANT SELECT ON quil_schema, quil_items, quil_alcohol_detector, '
                   'quil_alcohol_setting TO %I', quil_group('web'));
    EXECUTE format('GRANT SELECT, UPDATE (failed_attempts, locked_until, password_hash, '
                   'must_change_password, changed_at) ON quil_web_account TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT SELECT, INSERT, DELETE, UPDATE (last_seen) ON quil_web_session TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT SELECT, INSERT, DELETE, UPDATE (succeeded) '
                   'ON quil_web_login_attempt TO %I', quil_group('web'));
    EXECUTE format('GRANT INSERT ON quil_web_log TO %I', quil_group('web'));
    EXECUTE format('GRANT SELECT, INSERT ON quil_records, quil_alcohol_check, quil_saves TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq, '
                   'quil_alcohol_check_id_seq TO %I', quil_group('web'));
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_web_driver() TO %I', quil_group('web'));
    EXECUTE format('ALTER POLICY quil_office ON quil_records TO %I', quil_group('viewer'));
    EXECUTE format('ALTER POLICY quil_office ON quil_alcohol_check TO %I', quil_group('viewer'));
    FOREACH k IN ARRAY ARRAY['quil_records', 'quil_alcohol_check'] LOOP
        EXECUTE format('ALTER POLICY quil_web_read ON %I TO %I', k, quil_group('web'));
        EXECUTE format('ALTER POLICY quil_web_add ON %I TO %I', k, quil_group('web'));
    END LOOP;

    -- The shared roles keep nothing here. Their members (accounts of this data set as much
    -- as of any other) are given this data set's roles when an existing data set is
    -- upgraded, not when a new one is made.
    FOREACH k IN ARRAY ARRAY['viewer', 'clerk', 'admin', 'web'] LOOP
        g := 'quil_' || k;
        CONTINUE WHEN NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = g);
        EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %I', g);
        EXECUTE format('REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM %I', g);
        EXECUTE format('REVOKE ALL ON FUNCTION quil_web_driver() FROM %I', g);
        EXECUTE format('REVOKE ALL ON DATABASE %I FROM %I', current_database(), g);
        CONTINUE WHEN NOT upgrading;
        FOR m IN SELECT r.rolname, r.rolsuper FROM pg_auth_members a
                   JOIN pg_roles r ON r.oid = a.member
                  WHERE a.roleid = g::regrole
                    AND r.rolname NOT IN ('quil_admin', 'quil_clerk', 'quil_viewer', 'quil_web')
                  LOOP
            EXECUTE format('GRANT %I TO %I', quil_group(k), m.rolname);
            IF k = 'admin' AND NOT m.rolsuper AND m.rolname <> current_user THEN
                EXECUTE format('ALTER ROLE %I NOCREATEROLE', m.rolname);
            END IF;
        END LOOP;
    END LOOP;
END $$;

-- An account this data set's administrators may change: a login of this data set's office
-- roles and of nothing else, with no power over the server, not the database's owner.
CREATE FUNCTION quil_account_target(account text) RETURNS void
    LANGUAGE plpgsql STABLE SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    r pg_roles;
    office oid[] := ARRAY(SELECT oid FROM pg_roles WHERE rolname IN (
        public.quil_group('admin'), public.quil_group('clerk'), public.quil_group('viewer')));
    -- The roles every data set shared before: they hold no rights once upgraded.
    shared oid[] := ARRAY(SELECT oid FROM pg_roles WHERE rolname IN (
        'quil_admin', 'quil_clerk', 'quil_viewer', 'quil_web'));
BEGIN
    SELECT * INTO r FROM pg_roles WHERE rolname = account;
    IF NOT FOUND OR r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication
       OR r.rolbypassrls OR account LIKE 'pg\_%' OR account LIKE 'quil\_%'
       OR r.oid = (SELECT datdba FROM pg_database WHERE datname = current_database())
       OR NOT EXISTS (SELECT 1 FROM pg_auth_members WHERE member = r.oid AND roleid = ANY (office))
       OR EXISTS (SELECT 1 FROM pg_auth_members WHERE member = r.oid
                   AND roleid <> ALL (office) AND roleid <> ALL (shared))
       OR EXISTS (SELECT 1 FROM pg_auth_members WHERE roleid = r.oid) THEN
        RAISE EXCEPTION 'account % is not one of this data set''s', account
            USING ERRCODE = 'insufficient_privilege';
    END IF;
END $$;

CREATE FUNCTION quil_account_kind(kind text) RETURNS text
    LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF kind IS NULL OR kind NOT IN ('admin', 'clerk', 'viewer') THEN
        RAISE EXCEPTION 'no such role' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    RETURN kind;
END $$;

CREATE FUNCTION quil_account_password(password_hash text) RETURNS text
    LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    -- Only a SCRAM hash: a password in clear would reach the server's log.
    IF password_hash IS NULL OR password_hash !~ '^SCRAM-SHA-256\$[0-9]+:[A-Za-z0-9+/=]+\$[A-Za-z0-9+/=]+:[A-Za-z0-9+/=]+$' THEN
        RAISE EXCEPTION 'not a SCRAM-SHA-256 hash' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    RETURN password_hash;
END $$;

CREATE FUNCTION quil_account_add(account text, password_hash text, kind text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF account IS NULL OR account !~ '^[A-Za-z][A-Za-z0-9_.-]{0,62}$'
       OR account LIKE 'pg\_%' OR account LIKE 'quil\_%' THEN
        RAISE EXCEPTION 'bad account name' USING ERRCODE = 'invalid_name';
    END IF;
    IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = account) THEN
        RAISE EXCEPTION 'role % exists', account USING ERRCODE = 'duplicate_object';
    END IF;
    EXECUTE format('CREATE ROLE %I LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION '
                   'NOBYPASSRLS INHERIT PASSWORD %L', account,
                   public.quil_account_password(password_hash));
    EXECUTE format('GRANT %I TO %I', public.quil_group(public.quil_account_kind(kind)), account);
END $$;

CREATE FUNCTION quil_account_set_role(account text, kind text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    k text;
BEGIN
    PERFORM public.quil_account_kind(kind);
    PERFORM public.quil_account_target(account);
    IF account = session_user THEN
        RAISE EXCEPTION 'own account' USING ERRCODE = 'insufficient_privilege';
    END IF;
    FOREACH k IN ARRAY ARRAY['admin', 'clerk', 'viewer'] LOOP
        IF k <> kind THEN EXECUTE format('REVOKE %I FROM %I', public.quil_group(k), account);
        END IF;
    END LOOP;
    EXECUTE format('GRANT %I TO %I', public.quil_group(kind), account);
END $$;

CREATE FUNCTION quil_account_set_password(account text, password_hash text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM public.quil_account_target(account);
    EXECUTE format('ALTER ROLE %I PASSWORD %L', account,
                   public.quil_account_password(password_hash));
END $$;

CREATE FUNCTION quil_account_set_login(account text, can_log_in boolean) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM public.quil_account_target(account);
    IF account = session_user THEN
        RAISE EXCEPTION 'own account' USING ERRCODE = 'insufficient_privilege';
    END IF;
    EXECUTE format(CASE WHEN can_log_in THEN 'ALTER ROLE %I LOGIN' ELSE 'ALTER ROLE %I NOLOGIN' END,
                   account);
END $$;

-- The record's columns against its bytes (little-endian: kind at 14, deleted at 16, date at
-- 20, vehicle at 28, user at 30).
ALTER TABLE quil_records ADD CONSTRAINT quil_records_match_raw CHECK (
    get_byte(raw, 14) = get_byte(int2send(kind), 1) AND get_byte(raw, 15) = get_byte(int2send(kind), 0)
    AND deleted = (get_byte(raw, 16) <> 0)
    AND get_byte(raw, 20) = get_byte(float8send(date), 7)
    AND get_byte(raw, 21) = get_byte(float8send(date), 6)
    AND get_byte(raw, 22) = get_byte(float8send(date), 5)
    AND get_byte(raw, 23) = get_byte(float8send(date), 4)
    AND get_byte(raw, 24) = get_byte(float8send(date), 3)
    AND get_byte(raw, 25) = get_byte(float8send(date), 2)
    AND get_byte(raw, 26) = get_byte(float8send(date), 1)
    AND get_byte(raw, 27) = get_byte(float8send(date), 0)
    AND get_byte(raw, 28) = get_byte(int2send(vehicle), 1)
    AND get_byte(raw, 29) = get_byte(int2send(vehicle), 0)
    AND get_byte(raw, 30) = get_byte(int2send(user_no), 1)
    AND get_byte(raw, 31) = get_byte(int2send(user_no), 0)) NOT VALID;

CREATE OR REPLACE FUNCTION quil_web_driver() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public, pg_temp AS $$
    SELECT a.driver FROM quil_web_session s JOIN quil_web_account a ON a.id = s.account
     WHERE s.token_hash = decode(current_setting('quil.web_session', true), 'hex')
       AND NOT a.disabled
$$;

-- The account functions run as the accounts role; only administrators and the owner may
-- call them.
DO $$
DECLARE
    f text;
    keeper text := quil_group('accounts');
    su boolean := (SELECT rolsuper FROM pg_roles WHERE rolname = current_user);
BEGIN
    IF NOT su THEN EXECUTE format('GRANT %I TO %I', keeper, current_user); END IF;
    EXECUTE format('GRANT CREATE ON SCHEMA public TO %I', keeper);
    FOREACH f IN ARRAY ARRAY['quil_account_add(text, text, text)',
                             'quil_account_set_role(text, text)',
                             'quil_account_set_password(text, text)',
                             'quil_account_set_login(text, boolean)'] LOOP
        EXECUTE format('ALTER FUNCTION %s OWNER TO %I', f, keeper);
        EXECUTE format('REVOKE ALL ON FUNCTION %s FROM PUBLIC', f);
        EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', f, quil_group('admin'));
        -- The data set's owner manages its accounts too.
        IF NOT su THEN EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', f, current_user);
        END IF;
    END LOOP;
    EXECUTE format('REVOKE CREATE ON SCHEMA public FROM %I', keeper);
    IF NOT su THEN EXECUTE format('REVOKE %I FROM %I', keeper, current_user); END IF;
END $$;
)SQL";

// Schema 8: a login stays bound to the person it was made for. driver_name keeps the name
// of the user at its position when it was made or last confirmed; after a restore, an
// import or a renaming puts another name there, the login is refused until an
// administrator confirms it. A login attempt is pending while its password is verified,
// so that failures are counted per login and address apart from attempts still under way.
constexpr const char* kSchema8 = R"SQL(
ALTER TABLE quil_web_account ADD COLUMN driver_name text;
UPDATE quil_web_account a SET driver_name = i.name FROM quil_items i
 WHERE i.position = a.driver;
ALTER TABLE quil_web_login_attempt ADD COLUMN pending boolean NOT NULL DEFAULT false;
CREATE INDEX quil_web_login_attempt_pair ON quil_web_login_attempt (login, address, attempted_at);
DO $$
BEGIN
    EXECUTE format('GRANT UPDATE (pending) ON quil_web_login_attempt TO %I',
                   quil_group('web'));
END $$;
)SQL";

// Schema 9: what changed is read from the server, not taken from the announcements, which
// any login may send. Every record and item row takes the next value of quil_change_seq in
// `changed` when it is written; a program asks for the rows beyond the last value it saw.
// quil_change_counter holds, for a replaced data set and for each part of the register,
// the sequence's value at its last change. The announcements carry these values, so that
// a program knows its own changes apart from others'. The stamping functions run as the
// data set's owner: no role needs the sequence or may write a value of its own choosing.
constexpr const char* kSchema9 = R"SQL(
CREATE SEQUENCE quil_change_seq;
ALTER TABLE quil_records ADD COLUMN changed bigint NOT NULL DEFAULT 0;
ALTER TABLE quil_items ADD COLUMN changed bigint NOT NULL DEFAULT 0;
CREATE INDEX quil_records_changed ON quil_records (changed);
CREATE INDEX quil_items_changed ON quil_items (changed);
CREATE TABLE quil_change_counter (
    what text PRIMARY KEY,
    changed bigint NOT NULL DEFAULT 0
);
INSERT INTO quil_change_counter (what) VALUES ('replaced'), ('checks'), ('detectors'), ('cycles');

CREATE FUNCTION quil_stamp_change() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
    NEW.changed := nextval('quil_change_seq');
    RETURN NEW;
END $$;
CREATE TRIGGER quil_records_stamp BEFORE INSERT OR UPDATE ON quil_records
    FOR EACH ROW EXECUTE FUNCTION quil_stamp_change();
CREATE TRIGGER quil_items_stamp BEFORE INSERT OR UPDATE ON quil_items
    FOR EACH ROW EXECUTE FUNCTION quil_stamp_change();

CREATE FUNCTION quil_count_change(part text) RETURNS bigint
    LANGUAGE sql SECURITY DEFINER SET search_path = public, pg_temp AS $$
    UPDATE quil_change_counter SET changed = nextval('quil_change_seq') WHERE what = part
    RETURNING changed
$$;
REVOKE ALL ON FUNCTION quil_count_change(text) FROM PUBLIC;

CREATE OR REPLACE FUNCTION quil_announce_record() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'r ' || lower(TG_OP) || ' ' || NEW.id || ' ' || NEW.version
                                      || ' ' || NEW.changed);
    RETURN NULL;
END $$;
CREATE OR REPLACE FUNCTION quil_announce_item() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'i ' || lower(TG_OP) || ' ' || NEW.position || ' '
                                      || NEW.version || ' ' || NEW.changed);
    RETURN NULL;
END $$;
CREATE OR REPLACE FUNCTION quil_announce_extension() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'e ' || TG_ARGV[0] || ' ' || quil_count_change(TG_ARGV[0]));
    RETURN NULL;
END $$;

-- What a program looks at when told of a change, in the caller's one snapshot (STABLE), its
-- plans kept for the session: the counters, the oldest and newest transactions still open,
-- and up to `most` records and items stamped past `after`.
CREATE FUNCTION quil_changes_since(after bigint, most bigint)
    RETURNS TABLE (o_kind integer, o_name text, o_a bigint, o_b bigint)
    LANGUAGE plpgsql STABLE SET search_path = public, pg_temp AS $$
BEGIN
    RETURN QUERY SELECT 0, c.what, c.changed, 0::bigint FROM quil_change_counter c;
    RETURN QUERY SELECT 1, ''::text, pg_snapshot_xmin(s)::text::bigint,
                        coalesce((SELECT max(x::text::bigint) FROM pg_snapshot_xip(s) x), 0)
                   FROM pg_current_snapshot() s;
    RETURN QUERY SELECT 2, ''::text, r.id, r.changed FROM quil_records r
                  WHERE r.changed > after ORDER BY r.changed LIMIT most;
    RETURN QUERY SELECT 3, ''::text, i.position::bigint, i.changed FROM quil_items i
                  WHERE i.changed > after ORDER BY i.changed LIMIT most;
END $$;

REVOKE ALL ON quil_change_counter FROM PUBLIC;
DO $$
BEGIN
    EXECUTE format('GRANT SELECT ON quil_change_counter TO %I', quil_group('viewer'));
    -- A push or restore says the data set was replaced.
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_count_change(text) TO %I',
                   quil_group('admin'));
END $$;
)SQL";

// Schema 11: the figures the reports add up, taken from the record's bytes into columns the
// server computes itself on every write (distances and return time are little-endian
// doubles, price and tax 32-bit, item 16-bit), and an index over the live records by
// vehicle and date that holds them, so that sums per vehicle, month or day are read from the
// index alone instead of from every record; and an index of each vehicle's odometer readings.
constexpr const char* kSchema11 = R"SQL(
CREATE FUNCTION quil_raw_int4(b bytea, o integer) RETURNS integer
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT ((get_byte(b, o)::bigint | (get_byte(b, o + 1)::bigint << 8)
             | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 3)::bigint << 24))
            - CASE WHEN get_byte(b, o + 3) >= 128 THEN 4294967296 ELSE 0 END)::integer
$$;
CREATE FUNCTION quil_raw_int2(b bytea, o integer) RETURNS smallint
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT ((get_byte(b, o) | (get_byte(b, o + 1) << 8))
            - CASE WHEN get_byte(b, o + 1) >= 128 THEN 65536 ELSE 0 END)::smallint
$$;
CREATE FUNCTION quil_raw_float8(b bytea, o integer) RETURNS double precision
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT CASE WHEN e = 2047 THEN CASE WHEN m = 0 THEN s * 'Infinity'::float8 ELSE 'NaN' END
                WHEN e = 0 THEN s * m::float8 * 2::float8 ^ -1074
                ELSE s * (4503599627370496 + m)::float8 * 2::float8 ^ (e - 1075) END
    FROM (SELECT CASE WHEN get_byte(b, o + 7) >= 128 THEN -1::float8 ELSE 1::float8 END AS s,
                 ((get_byte(b, o + 7) & 127) << 4) | (get_byte(b, o + 6) >> 4) AS e,
                 ((get_byte(b, o + 6) & 15)::bigint << 48) | (get_byte(b, o + 5)::bigint << 40)
                 | (get_byte(b, o + 4)::bigint << 32) | (get_byte(b, o + 3)::bigint << 24)
                 | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 1)::bigint << 8)
                 | get_byte(b, o)::bigint AS m) f
$$;
ALTER TABLE quil_records
    ADD COLUMN distance1 double precision GENERATED ALWAYS AS (quil_raw_float8(raw, 32)) STORED,
    ADD COLUMN distance2 double precision GENERATED ALWAYS AS (quil_raw_float8(raw, 40)) STORED,
    ADD COLUMN price integer GENERATED ALWAYS AS (quil_raw_int4(raw, 52)) STORED,
    ADD COLUMN tax integer GENERATED ALWAYS AS (quil_raw_int4(raw, 60)) STORED,
    ADD COLUMN item smallint GENERATED ALWAYS AS (quil_raw_int2(raw, 64)) STORED,
    ADD COLUMN return_time double precision
        GENERATED ALWAYS AS (quil_raw_float8(raw, 176)) STORED;
CREATE INDEX quil_records_sums ON quil_records (vehicle, date)
    INCLUDE (kind, user_no, entry, item, distance1, distance2, price, tax) WHERE NOT deleted;
-- Each vehicle's highest odometer readings, for the schedule of maintenance.
CREATE INDEX quil_records_readings ON quil_records (vehicle, (CASE kind
    WHEN 0 THEN greatest(distance1, distance2) WHEN 1 THEN distance1 WHEN 2 THEN distance1
    ELSE 0 END)) WHERE NOT deleted;
)SQL";

struct Migration {
    int version;
    const char* sql;
    // Moves data after the statements, in the same transaction (none: nothing to move).
    void (*moveData)(PgConnection&) = nullptr;
};
constexpr std::array kMigrations{
    Migration{1, kSchema1}, Migration{2, kSchema2},
    Migration{3, kSchema3}, Migration{4, kSchema4, convertStoredExtensionFile},
    Migration{5, kSchema5}, Migration{6, kSchema6}, Migration{7, kSchema7},
    Migration{8, kSchema8}, Migration{9, kSchema9},
    Migration{11, kSchema11}};
static_assert(kMigrations.back().version == kSchemaVersion);

const std::string kWrittenBy = "クイル台帳";

void applyFrom(PgConnection& c, int from, int to = kSchemaVersion) {
    for (const Migration& m : kMigrations)
        if (m.version > from && m.version <= to) {
            c.run(m.sql);
            if (m.moveData) m.moveData(c);
        }
    if (from == 0)
        c.exec("INSERT INTO quil_schema (version, written_by) VALUES ($1, $2)",
               {PgParam::number(to), PgParam::text(kWrittenBy)});
    else
        c.exec("UPDATE quil_schema SET version = $1, written_by = $2, changed_at = now()",
               {PgParam::number(to), PgParam::text(kWrittenBy)});
}

ServerError newerError(const PgConnection& c, int version) {
    return {ServerError::Kind::Newer, c.where(),
            "このデータセットは新しいクイル台帳で作られています（形式 " + std::to_string(version) +
                "、このプログラムは形式 " + std::to_string(kSchemaVersion) +
                " まで）。プログラムを新しくしてください。データは変更していません。"};
}

ServerError notADataSet(const PgConnection& c) {
    return {ServerError::Kind::NotADataSet, c.where(),
            "このデータベースはクイル台帳のデータセットではありません。"
            "「quil-tool --server 接続先 server init」でデータセットを作ってください。"};
}

}  // namespace

SchemaState inspectSchema(PgConnection& c) {
    const PgResult t = c.exec(
        "SELECT to_regclass('quil_schema') IS NOT NULL, "
        "EXISTS (SELECT 1 FROM pg_class k JOIN pg_namespace n ON n.oid = k.relnamespace "
        "        WHERE n.nspname = 'public' AND k.relkind IN ('r', 'v', 'S'))");
    if (t.text(0, 0) != "t")
        return {t.text(0, 1) == "t" ? SchemaState::Is::Foreign : SchemaState::Is::Empty, 0};
    const PgResult v = c.exec("SELECT max(version) FROM quil_schema");
    if (v.rows() == 0 || v.isNull(0, 0)) return {SchemaState::Is::Foreign, 0};
    const int version = static_cast<int>(v.integer(0, 0));
    if (version > kSchemaVersion) return {SchemaState::Is::Newer, version};
    if (version < kSchemaVersion) return {SchemaState::Is::Older, version};
    return {SchemaState::Is::Current, version};
}

void initializeSchema(PgConnection& c) { initializeSchemaAt(c, kSchemaVersion); }

void initializeSchemaAt(PgConnection& c, int version) {
    inTransaction(c, [&] {
        // One init at a time per database; a second one then finds the first one's tables.
        c.run("SELECT pg_advisory_xact_lock(7190001)");
        const SchemaState s = inspectSchema(c);
        if (s.is == SchemaState::Is::Newer) throw newerError(c, s.version);
        if (s.is == SchemaState::Is::Foreign)
            throw ServerError(ServerError::Kind::Refused, c.where(),
                              "このデータベースには別のデータがあります。データセットは空の"
                              "データベースに作ってください。何も変更していません。");
        if (s.is != SchemaState::Is::Empty)
            throw ServerError(ServerError::Kind::Refused, c.where(),
                              "このデータベースにはデータセットがすでにあります。"
                              "何も変更していません。");
        applyFrom(c, 0, version);
    });
}

void upgradeSchema(PgConnection& c) {
    inTransaction(c, [&] {
        c.run("SELECT pg_advisory_xact_lock(7190001)");
        const SchemaState s = inspectSchema(c);
        if (s.is == SchemaState::Is::Newer) throw newerError(c, s.version);
        if (s.is == SchemaState::Is::Empty || s.is == SchemaState::Is::Foreign)
            throw notADataSet(c);
        if (s.is != SchemaState::Is::Older) return;
        try {
            applyFrom(c, s.version);
        } catch (const ServerError& e) {
            if (e.kind() != ServerError::Kind::NotAllowed) throw;
            throw ServerError(ServerError::Kind::NotAllowed, c.where(),
                              "このデータセットは古い形式（形式 " + std::to_string(s.version) +
                                  "）です。管理者の利用者で一度開くと新しい形式になります。"
                                  "データは変更していません。");
        }
    });
}

std::string roleTitle(const std::string& role) {
    if (role == kAdminRole) return "管理者";
    if (role == kClerkRole) return "事務";
    if (role == kViewerRole) return "閲覧";
    return {};
}

std::string groupRole(PgConnection& c, const std::string& kind) {
    return std::string(c.exec("SELECT quil_group($1)", {PgParam::text(kind)}).text(0, 0));
}

}  // namespace quil::server
